// What the tests share: temporary folders and files, archive bytes, the
// built programs run as child processes, functions that end the process
// run in a forked child, and Wine-style prefixes.
#ifndef GRAVELHORN_TESTS_TEST_SUPPORT_H_
#define GRAVELHORN_TESTS_TEST_SUPPORT_H_

#include <sys/types.h>

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

std::string ReadFileBytes(const std::string& path);  // throws if unreadable
// Writes bytes to path, making its folder; returns path.
std::string WriteFileBytes(const std::string& path, const std::string& bytes);
bool FileExists(const std::string& path);  // links are not followed
void MakeFolders(const std::string& path);

// A fresh folder under $TMPDIR or /tmp, removed with all it holds.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& path() const { return path_; }
  // Writes bytes to path()/relative, making the folders on the way; returns
  // the full path.
  std::string Write(const std::string& relative, const std::string& bytes) const {
    return WriteFileBytes(path_ + "/" + relative, bytes);
  }

 private:
  std::string path_;
};

// Everything below root by its relative path: a file's bytes, kFolderEntry
// for a folder, kFifoEntry for a fifo, "<link to TARGET>" for a link (not
// followed). Empty when root does not exist.
typedef std::map<std::string, std::string> FolderFiles;
inline constexpr char kFolderEntry[] = "<folder>";
inline constexpr char kFifoEntry[] = "<fifo>";
FolderFiles FolderTree(const std::string& root);
// Empties folder and writes files, as FolderTree gives them, into it.
void RestoreFolderFiles(const std::string& folder, const FolderFiles& files);

// The bytes of an FFF archive holding members in this order, their data laid
// out behind the directory. A name of 128 bytes fills its field with no zero.
struct ArchiveMember {
  std::string name, data;
};
std::string BuildFffArchive(const std::vector<ArchiveMember>& members);
// A file read whole through the installer's file system (disk first, then
// the registered archives), or "<not found>".
std::string ReadThroughFileSystem(const std::string& name);

// A program running in the background in workingDirectory, with the current
// environment plus the NAME=VALUE pairs of extraEnvironment, standard input
// from /dev/null and its output in the files outPath and errPath. Killed
// and reaped when the object goes, if still running.
class ChildProcess {
 public:
  ChildProcess(const std::vector<std::string>& argv, const std::string& workingDirectory,
               const std::vector<std::string>& extraEnvironment, const std::string& outPath,
               const std::string& errPath);
  ~ChildProcess() { Kill(); }
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  pid_t pid() const { return pid_; }
  // Whether it has ended; then *exitCode is its exit status, or -1 when a
  // signal ended it.
  bool Ended(int* exitCode);
  // Waits up to seconds for the end; false when it is still running.
  bool WaitForEnd(double seconds, int* exitCode);
  void Kill();                     // SIGKILL, then reaps it
  void Terminate(double seconds);  // SIGTERM, and SIGKILL after seconds

 private:
  pid_t pid_;
  bool reaped_ = false;
  int exitCode_ = -1;
};

// Runs a program to its end, or kills it after timeoutSeconds.
struct CommandResult {
  int exitCode;  // the exit status, or -1 when a signal ended it
  std::string out, err;
  bool timedOut;
};
CommandResult RunCommand(const std::vector<std::string>& argv, const std::string& workingDirectory,
                         const std::vector<std::string>& extraEnvironment = {},
                         double timeoutSeconds = 120);
std::string CommandLine(const std::vector<std::string>& argv);  // for messages

// The built programs: $PATCH_INSTALLER and $FFF_TOOL, or else the ones the
// build put one folder above the test binary.
std::string PatchInstallerPath();
// The catalogue's language codes, joined here: "eng, hun, ...". A language
// added to the catalogue changes no test but its texts' own.
std::string CatalogueCodeList();
// fff's test build, whose calls that change the disk fail where the
// environment variable GRAVELHORN_FAULTS says (tests/fff_faults_posix.cc).
std::string FffFaultsPath();
std::string FffToolPath();

// How a body that may end the process ended: run in this process, with
// its message boxes recorded instead of shown, and the process's end turned
// into an exception that ends only the body.
struct RecordedBox {
  std::string text, caption;
  unsigned style;
};
struct EndedRun {
  bool ended = false;  // the body ended the process (through EndProcess)
  int exitCode = 0;    // as the shell would see it: 255 for -1
  std::vector<RecordedBox> boxes;
};
EndedRun RunToEnd(const std::function<void()>& body);
// Expects one English file-system error box showing text, then exit code -1.
void ExpectFileSystemFatal(const EndedRun& outcome, const std::string& text);

// The folder for LOCPATH that holds the locale named (such as
// "vi_VN.UTF-8"), so that tests need no locale generated on the machine:
// the suite's, compiled once by the CTest fixture "locales"
// ($GRAVELHORN_TEST_LOCALES), or else compiled by localedef on first use in
// this process. Empty when localedef cannot compile it (the package
// locales is missing).
std::string CompiledLocale(const std::string& name);

// Changes the current folder for one scope.
class ScopedCurrentDirectory {
 public:
  explicit ScopedCurrentDirectory(const std::string& path);
  ~ScopedCurrentDirectory();

 private:
  std::string previous_;
};

// Sets an environment variable (or unsets it, for nullptr) for one scope.
class ScopedEnvironment {
 public:
  ScopedEnvironment(const char* name, const char* value);
  ~ScopedEnvironment();

 private:
  std::string name_;
  std::optional<std::string> previous_;  // none: it was not set
};

// A registry key's string values, names and values in UTF-8.
typedef std::vector<std::pair<std::string, std::string>> RegistryValues;
// FakePrefix::WriteGameKey (below) for the prefix folder prefix, made if
// missing.
void WriteGameKeyTo(const std::string& prefix, const RegistryValues& values, bool win64 = true,
                    const std::string& subkey = "", const std::string& lines = "");

// A Wine-style prefix in a temporary folder, or in the folder below it
// that below names: dosdevices/c: -> ../drive_c and z: -> /, as Wine
// makes them.
class FakePrefix {
 public:
  explicit FakePrefix(const std::string& below = "");
  const std::string& path() const { return path_; }
  const std::string& root() const { return dir_.path(); }  // the temporary folder
  std::string DriveC() const { return path_ + "/drive_c"; }
  // Writes system.reg as Wine 8 writes it, with the game's key (in the
  // 32-bit view when win64) holding these string values (UTF-8), or these
  // lines of values when lines is not empty. With a subkey and no values,
  // only the subkey's line shows the key, as Wine saves it; with neither,
  // system.reg holds another key but not the game's.
  void WriteGameKey(const RegistryValues& values, bool win64 = true, const std::string& subkey = "",
                    const std::string& lines = "") {
    WriteGameKeyTo(path(), values, win64, subkey, lines);
  }

 private:
  TempDir dir_;
  std::string path_;
};

#endif  // GRAVELHORN_TESTS_TEST_SUPPORT_H_
