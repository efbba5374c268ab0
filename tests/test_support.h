// Helpers shared by the tests: temporary folders, archive bytes, a recording
// message box and a way to run the built programs.
#ifndef GRAVELHORN_TESTS_TEST_SUPPORT_H_
#define GRAVELHORN_TESTS_TEST_SUPPORT_H_

#include <sys/types.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

// A fresh folder under the system's temporary folder, removed with all it
// holds when the object goes.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& path() const { return path_; }
  // Writes bytes to path()/relative, making the folders on the way; returns
  // the full path.
  std::string Write(const std::string& relative, const std::string& bytes) const;

 private:
  std::string path_;
};

std::string ReadFileBytes(const std::string& path);

// Everything below root by its relative path: a file's bytes, kFolderEntry
// for a folder, "<link to TARGET>" for a link (not followed). Empty when
// root does not exist.
typedef std::map<std::string, std::string> FolderFiles;
extern const char kFolderEntry[];
FolderFiles FolderTree(const std::string& root);
void WriteFileBytes(const std::string& path, const std::string& bytes);
bool FileExists(const std::string& path);
void MakeFolders(const std::string& path);

// The bytes of an FFF archive holding members in this order, their data laid
// out behind the directory. A name of 128 bytes fills its field with no zero.
struct ArchiveMember {
  std::string name;
  std::string data;
};
std::string BuildFffArchive(const std::vector<ArchiveMember>& members);

// While it lives, every message box is recorded here instead of shown, and
// echoed to standard error as "[caption|style]text" so that a death test can
// match it.
struct RecordedBox {
  std::string text;
  std::string caption;
  unsigned style;
};
class RecordingMessageBox {
 public:
  RecordingMessageBox();
  ~RecordingMessageBox();
  const std::vector<RecordedBox>& boxes() const;
};

// Changes the current folder, and changes it back at the end of the scope.
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
  std::string previous_;
  bool hadPrevious_;
};

// Starts argv[0] with its arguments in workingDirectory, with the current
// environment plus the NAME=VALUE pairs of extraEnvironment, standard input
// from /dev/null and standard output and error into the files outPath and
// errPath. Returns its process id; the caller reaps it.
pid_t StartChild(const std::vector<std::string>& argv,
                 const std::string& workingDirectory,
                 const std::vector<std::string>& extraEnvironment,
                 const std::string& outPath, const std::string& errPath);

// Runs argv[0] with its arguments in workingDirectory, with the current
// environment plus the NAME=VALUE pairs of extraEnvironment, standard input
// from /dev/null, and collects what it printed.
struct CommandResult {
  int exitCode;  // the exit status, or -1 when it did not exit normally
  std::string out;
  std::string err;
  // The child's peak resident memory in KiB (wait4's ru_maxrss). Linux
  // carries the forked copy of the test process over exec into this, so
  // compare runs with each other rather than with a fixed number.
  long peakRssKb;
};
CommandResult RunCommand(const std::vector<std::string>& argv,
                         const std::string& workingDirectory,
                         const std::vector<std::string>& extraEnvironment = {});

// The built programs: $PATCH_INSTALLER and $FFF_TOOL, or else the ones the
// build put one folder above the test binary.
std::string PatchInstallerPath();
std::string FffToolPath();


// How a run that may end the process ended, seen from outside: the body runs
// in a forked child whose message boxes are recorded.
struct ProcessOutcome {
  bool ended = false;   // the body ended the process (through EndProcess)
  int exitCode = -1;    // the child's exit status as the parent saw it
  std::vector<RecordedBox> boxes;
  std::string probe;    // what probe returned at the end, in the child
};
ProcessOutcome RunInChild(const std::function<void()>& body,
                          const std::function<std::string()>& probe = nullptr);

// Expects outcome to be one English file-system error box showing text,
// followed by exit code -1.
void ExpectFileSystemFatal(const ProcessOutcome& outcome, const std::string& text);

// A Wine-style prefix in a temporary folder: dosdevices/c: -> ../drive_c and
// a system.reg holding the game's key, laid out as Wine 8 writes it.
class FakePrefix {
 public:
  FakePrefix();
  const std::string& path() const { return dir_.path(); }
  std::string DriveC() const { return dir_.path() + "/drive_c"; }
  // Writes system.reg with the game's key holding these string values (in
  // the 32-bit view when win64), and a subkey of that name if one is given.
  // An empty list writes the key with no values: then, with a subkey, only
  // the subkey's line shows the key, as Wine saves it.
  void WriteGameKey(const std::vector<std::pair<std::string, std::string>>& values,
                    bool win64 = true, const std::string& subkey = "");
  // Writes system.reg without the game's key.
  void WriteRegistryWithoutKey();

 private:
  TempDir dir_;
};

// Escapes text (UTF-8) for a string value of a Wine registry file.
std::string WineRegistryEscape(const std::string& text);

#endif  // GRAVELHORN_TESTS_TEST_SUPPORT_H_
