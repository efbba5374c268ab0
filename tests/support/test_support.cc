#include "tests/support/test_support.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <tuple>

#include "filesystem/fff_format.h"
#include "filesystem/file_system.h"
#include "installer/messages.h"
#include "platform/code_page.h"
#include "platform/message_box.h"
#include "platform/process_end.h"

namespace fs = std::filesystem;

namespace {

// A built program: named by an environment variable, or else found where
// the build puts it, one folder above the test binary.
std::string BuiltProgram(const char* variable, const char* name) {
  const char* value = getenv(variable);
  if (value != nullptr && *value != '\0') return value;
  return (fs::read_symlink("/proc/self/exe").parent_path().parent_path() / name).string();
}

std::vector<RecordedBox>* recordedBoxes;

// text (UTF-8) as a string of a Wine registry file: every control
// character and every character past ASCII as \x and its UTF-16 unit, as
// Wine writes it.
std::string WineRegistryEscape(const std::string& text) {
  std::string escaped;
  for (char16_t unit : HostToWide(text)) {
    char hex[8];
    snprintf(hex, sizeof hex, "\\x%04x", unsigned(unit));
    if (unit == '\\' || unit == '"') escaped += '\\';
    escaped += unit >= 0x20 && unit < 0x7F ? std::string(1, char(unit)) : hex;
  }
  return escaped;
}

const char kRegistryHead[] = "WINE REGISTRY Version 2\n;; All keys relative to \\\\Machine\n\n";
const char kOtherKey[] =
    "[Software\\\\Classes\\\\.txt] 1796580330\n#time=1da2b3c4d5e6f70\n@=\"txtfile\"\n\n";

}  // namespace

TempDir::TempDir() {
  const char* base = getenv("TMPDIR");
  std::string pattern = std::string(base != nullptr && *base ? base : "/tmp") + "/ghr_test.XXXXXX";
  if (mkdtemp(&pattern[0]) == nullptr) throw std::runtime_error("mkdtemp failed: " + pattern);
  // Without links on the way, as the programs see it once they resolve it.
  path_ = fs::canonical(pattern).string();
}

TempDir::~TempDir() {
  std::error_code ignored;
  fs::remove_all(path_, ignored);
}

std::string ReadFileBytes(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  if (!file) throw std::runtime_error("cannot read " + path);
  return std::string(std::istreambuf_iterator<char>(file), {});
}

std::string WriteFileBytes(const std::string& path, const std::string& bytes) {
  if (fs::path(path).has_parent_path()) MakeFolders(fs::path(path).parent_path().string());
  if (!(std::ofstream(path, std::ios::binary) << bytes))
    throw std::runtime_error("cannot write " + path);
  return path;
}

bool FileExists(const std::string& path) {
  struct stat info;
  return lstat(path.c_str(), &info) == 0;
}

void MakeFolders(const std::string& path) { fs::create_directories(path); }

FolderFiles FolderTree(const std::string& root) {
  FolderFiles entries;
  if (!fs::exists(root)) return entries;
  for (const fs::directory_entry& entry : fs::recursive_directory_iterator(root))
    entries[entry.path().lexically_relative(root).generic_string()] =
        entry.is_symlink()     ? "<link to " + fs::read_symlink(entry.path()).string() + ">"
        : entry.is_directory() ? kFolderEntry
        : entry.is_fifo()      ? kFifoEntry
                               : ReadFileBytes(entry.path().string());
  return entries;
}

void RestoreFolderFiles(const std::string& folder, const FolderFiles& files) {
  fs::remove_all(folder);
  MakeFolders(folder);
  for (const auto& [name, bytes] : files)
    bytes == kFolderEntry ? MakeFolders(folder + "/" + name)
                          : void(WriteFileBytes(folder + "/" + name, bytes));
}

std::string BuildFffArchive(const std::vector<ArchiveMember>& members) {
  std::string header(kFffHeaderSize, '\0');
  const uint32_t directorySize = uint32_t(members.size() * kDirectoryEntrySize);
  WriteLittleEndian32(reinterpret_cast<unsigned char*>(&header[24]), directorySize);
  std::string directory, data;
  for (const ArchiveMember& member : members) {
    std::string entry(kDirectoryEntrySize, '\0');
    memcpy(&entry[0], member.name.data(), std::min(member.name.size(), kDirectoryNameSize));
    auto* fields = reinterpret_cast<unsigned char*>(&entry[kDirectoryNameSize]);
    WriteLittleEndian32(fields, uint32_t(kFffHeaderSize + directorySize + data.size()));
    WriteLittleEndian32(fields + 4, uint32_t(member.data.size()));
    directory += entry;
    data += member.data;
  }
  return header + directory + data;
}

std::string ReadThroughFileSystem(const std::string& name) {
  FileHandle* handle = OpenFileQuiet(name.c_str(), OPEN_FILE_READ);
  if (handle == nullptr) return "<not found>";
  std::string bytes(size_t(handle->GetSize()), '\0');
  bytes.resize(fread(&bytes[0], 1, bytes.size(), handle->stream));
  CloseFile(handle);
  return bytes;
}

ChildProcess::ChildProcess(const std::vector<std::string>& argv,
                           const std::string& workingDirectory,
                           const std::vector<std::string>& extraEnvironment,
                           const std::string& outPath, const std::string& errPath) {
  // Everything the child needs is prepared before the fork.
  std::vector<char*> args;
  for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);
  pid_ = fork();
  if (pid_ < 0) throw std::runtime_error("fork failed for " + argv.at(0));
  if (pid_ > 0) return;
  // dup2 refuses the -1 of a file that did not open.
  if (dup2(open("/dev/null", O_RDONLY), 0) < 0 ||
      dup2(open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600), 1) < 0 ||
      dup2(open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600), 2) < 0 ||
      chdir(workingDirectory.c_str()) != 0)
    _exit(126);
  for (const std::string& assignment : extraEnvironment) putenv(strdup(assignment.c_str()));
  execv(args[0], args.data());
  _exit(127);
}

bool ChildProcess::Ended(int* exitCode) {
  int status = -1;  // as left when waitpid fails: not an exit
  if (!reaped_ && waitpid(pid_, &status, WNOHANG) == 0) return false;
  if (!reaped_) exitCode_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  reaped_ = true;
  *exitCode = exitCode_;
  return true;
}

bool ChildProcess::WaitForEnd(double seconds, int* exitCode) {
  // Each turn sleeps at least its 2 ms: the wait is never cut short.
  for (double waited = 0; !Ended(exitCode); waited += 0.002, usleep(2000))
    if (waited >= seconds) return false;
  return true;
}

void ChildProcess::Kill() {
  if (!reaped_ && kill(pid_, SIGKILL) == 0) waitpid(pid_, nullptr, 0);
  reaped_ = true;
}

void ChildProcess::Terminate(double seconds) {
  int exitCode;
  if (!reaped_ && kill(pid_, SIGTERM) == 0 && !WaitForEnd(seconds, &exitCode)) Kill();
}

CommandResult RunCommand(const std::vector<std::string>& argv, const std::string& workingDirectory,
                         const std::vector<std::string>& extraEnvironment, double timeoutSeconds) {
  TempDir captures;
  const std::string out = captures.path() + "/out", err = captures.path() + "/err";
  auto read = [](const std::string& path) { return FileExists(path) ? ReadFileBytes(path) : ""; };
  ChildProcess child(argv, workingDirectory, extraEnvironment, out, err);
  int exitCode = -1;
  const bool timedOut = !child.WaitForEnd(timeoutSeconds, &exitCode);
  child.Kill();  // if it is still running
  return {exitCode, read(out), read(err), timedOut};
}

std::string CommandLine(const std::vector<std::string>& argv) {
  std::string line;
  for (const std::string& arg : argv) line += (line.empty() ? "" : " ") + arg;
  return line;
}

std::string PatchInstallerPath() { return BuiltProgram("PATCH_INSTALLER", "patch_installer"); }
std::string CatalogueCodeList() {
  std::string list;
  for (const CatalogueLanguage& language : MessageCatalogue)
    list += (list.empty() ? "" : ", ") + std::string(language.code);
  return list;
}

std::string FffToolPath() { return BuiltProgram("FFF_TOOL", "fff"); }
std::string FffFaultsPath() { return BuiltProgram("FFF_FAULTS", "fff_faults"); }

EndedRun RunToEnd(const std::function<void()>& body) {
  EndedRun run;
  recordedBoxes = &run.boxes;
  SetMessageBoxHandler([](const char* text, const char* caption, unsigned style) {
    recordedBoxes->push_back(RecordedBox{text, caption, style});
  });
  // The end, thrown as an EndedRun, ends only the body.
  SetProcessEndHook([](int exitCode) { throw EndedRun{true, exitCode & 0xFF, {}}; });
  try {
    body();
  } catch (const EndedRun& end) {
    std::tie(run.ended, run.exitCode) = std::tie(end.ended, end.exitCode);
  }
  SetProcessEndHook(nullptr);
  SetMessageBoxHandler(nullptr);
  return run;
}

void ExpectFileSystemFatal(const EndedRun& outcome, const std::string& text) {
  ASSERT_EQ(1u, outcome.boxes.size()) << "ended: " << outcome.ended;
  const RecordedBox& box = outcome.boxes[0];
  EXPECT_EQ(std::tuple(true, 255, std::string("Gravelhorn Patch Installer"), 0x10u, text),
            std::tie(outcome.ended, outcome.exitCode, box.caption, box.style, box.text));
}

std::string CompiledLocale(const std::string& name) {
  static TempDir own;
  const char* suite = getenv("GRAVELHORN_TEST_LOCALES");
  for (const std::string& folder : {std::string(suite != nullptr ? suite : ""), own.path()})
    if (!folder.empty() && FileExists(folder + "/" + name + "/LC_CTYPE")) return folder;
  const size_t dot = name.find('.');
  const std::string command = "localedef -i " + name.substr(0, dot) + " -f " +
                              name.substr(dot + 1) + " " + own.path() + "/" + name +
                              " >/dev/null 2>&1";
  return system(command.c_str()) == 0 ? own.path() : "";
}

ScopedCurrentDirectory::ScopedCurrentDirectory(const std::string& path)
    : previous_(fs::current_path().string()) {
  fs::current_path(path);
}

ScopedCurrentDirectory::~ScopedCurrentDirectory() { fs::current_path(previous_); }

ScopedEnvironment::ScopedEnvironment(const char* name, const char* value) : name_(name) {
  if (const char* previous = getenv(name)) previous_ = previous;
  value != nullptr ? setenv(name, value, 1) : unsetenv(name);
}

ScopedEnvironment::~ScopedEnvironment() {
  previous_ ? setenv(name_.c_str(), previous_->c_str(), 1) : unsetenv(name_.c_str());
}

FakePrefix::FakePrefix(const std::string& below)
    : path_(below.empty() ? dir_.path() : dir_.path() + "/" + below) {
  MakeFolders(DriveC());
  MakeFolders(path() + "/dosdevices");
  fs::create_directory_symlink("../drive_c", path() + "/dosdevices/c:");
  fs::create_directory_symlink("/", path() + "/dosdevices/z:");
}

void WriteGameKeyTo(const std::string& prefix, const RegistryValues& values, bool win64,
                    const std::string& subkey, const std::string& lines) {
  std::string reg = kRegistryHead + std::string(win64 ? "#arch=win64\n\n" : "") + kOtherKey;
  const std::string key =
      win64 ? "Software\\\\Wow6432Node\\\\Quillfern\\\\GHR" : "Software\\\\Quillfern\\\\GHR";
  // Wine saves a key with subkeys but no values through its subkeys alone.
  if (!values.empty() || !lines.empty())
    reg += "[" + key + "] 1796580337\n#time=1da2b3c4d5e6f71\n" + lines;
  for (const auto& [name, value] : values)
    reg += "\"" + WineRegistryEscape(name) + "\"=\"" + WineRegistryEscape(value) + "\"\n";
  if (!subkey.empty()) reg += "\n[" + key + "\\\\" + subkey + "] 1796580338\n";
  WriteFileBytes(prefix + "/system.reg", reg);
}
