#include "tests/test_support.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "filesystem/fff_format.h"
#include "platform/code_page.h"
#include "platform/message_box.h"
#include "platform/process_end.h"

TempDir::TempDir() {
  const char* base = getenv("TMPDIR");
  std::string pattern =
      std::string(base != nullptr && *base ? base : "/tmp") + "/ghr_test.XXXXXX";
  std::vector<char> buffer(pattern.begin(), pattern.end());
  buffer.push_back('\0');
  if (mkdtemp(buffer.data()) == nullptr)
    throw std::runtime_error("mkdtemp failed for " + pattern);
  path_ = buffer.data();
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

std::string TempDir::Write(const std::string& relative,
                           const std::string& bytes) const {
  std::string full = path_ + "/" + relative;
  MakeFolders(std::filesystem::path(full).parent_path().string());
  WriteFileBytes(full, bytes);
  return full;
}

std::string ReadFileBytes(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  if (!file) throw std::runtime_error("cannot read " + path);
  std::ostringstream contents;
  contents << file.rdbuf();
  return contents.str();
}

const char kFolderEntry[] = "<folder>";

FolderFiles FolderTree(const std::string& root) {
  namespace fs = std::filesystem;
  FolderFiles entries;
  if (!fs::exists(root)) return entries;
  for (const fs::directory_entry& entry : fs::recursive_directory_iterator(root)) {
    const std::string relative = fs::relative(entry.path(), root).generic_string();
    if (entry.is_symlink())
      entries[relative] = "<link to " + fs::read_symlink(entry.path()).string() + ">";
    else if (entry.is_directory())
      entries[relative] = kFolderEntry;
    else
      entries[relative] = ReadFileBytes(entry.path().string());
  }
  return entries;
}

void WriteFileBytes(const std::string& path, const std::string& bytes) {
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!file) throw std::runtime_error("cannot write " + path);
}

bool FileExists(const std::string& path) {
  struct stat info;
  return lstat(path.c_str(), &info) == 0;
}

void MakeFolders(const std::string& path) {
  std::filesystem::create_directories(path);
}

std::string BuildFffArchive(const std::vector<ArchiveMember>& members) {
  const uint32_t directorySize =
      static_cast<uint32_t>(members.size() * kDirectoryEntrySize);
  std::string header(kFffHeaderSize, '\0');
  memcpy(&header[0], "FFF test archive", 16);
  WriteLittleEndian32(reinterpret_cast<unsigned char*>(&header[24]),
                      directorySize);
  std::string directory;
  std::string data;
  uint32_t offset = static_cast<uint32_t>(kFffHeaderSize + directorySize);
  for (const ArchiveMember& member : members) {
    std::string entry(kDirectoryEntrySize, '\0');
    memcpy(&entry[0], member.name.data(),
           std::min(member.name.size(), kDirectoryNameSize));
    auto* fields = reinterpret_cast<unsigned char*>(&entry[kDirectoryNameSize]);
    WriteLittleEndian32(fields, offset);
    WriteLittleEndian32(fields + 4, static_cast<uint32_t>(member.data.size()));
    directory += entry;
    data += member.data;
    offset += static_cast<uint32_t>(member.data.size());
  }
  return header + directory + data;
}

namespace {

std::vector<RecordedBox> recordedBoxes;

void RecordBox(const char* text, const char* caption, unsigned style) {
  recordedBoxes.push_back(RecordedBox{text, caption, style});
  fprintf(stderr, "[%s|%u]%s", caption, style, text);
  fflush(stderr);
}

}  // namespace

RecordingMessageBox::RecordingMessageBox() {
  recordedBoxes.clear();
  SetMessageBoxHandler(RecordBox);
}

RecordingMessageBox::~RecordingMessageBox() { SetMessageBoxHandler(nullptr); }

const std::vector<RecordedBox>& RecordingMessageBox::boxes() const {
  return recordedBoxes;
}

ScopedCurrentDirectory::ScopedCurrentDirectory(const std::string& path) {
  previous_ = std::filesystem::current_path().string();
  std::filesystem::current_path(path);
}

ScopedCurrentDirectory::~ScopedCurrentDirectory() {
  std::filesystem::current_path(previous_);
}

ScopedEnvironment::ScopedEnvironment(const char* name, const char* value)
    : name_(name) {
  const char* previous = getenv(name);
  hadPrevious_ = previous != nullptr;
  if (hadPrevious_) previous_ = previous;
  if (value != nullptr)
    setenv(name, value, 1);
  else
    unsetenv(name);
}

ScopedEnvironment::~ScopedEnvironment() {
  if (hadPrevious_)
    setenv(name_.c_str(), previous_.c_str(), 1);
  else
    unsetenv(name_.c_str());
}

namespace {

std::string ReadAll(int fd) {
  std::string text;
  char block[4096];
  ssize_t count;
  while ((count = read(fd, block, sizeof block)) > 0)
    text.append(block, static_cast<size_t>(count));
  return text;
}

}  // namespace

pid_t StartChild(const std::vector<std::string>& argv,
                 const std::string& workingDirectory,
                 const std::vector<std::string>& extraEnvironment,
                 const std::string& outPath, const std::string& errPath) {
  if (argv.empty()) throw std::runtime_error("no program to start");
  // Everything the child needs is prepared before the fork.
  std::vector<char*> args;
  for (const std::string& arg : argv)
    args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);
  pid_t child = fork();
  if (child < 0) throw std::runtime_error("fork failed for " + argv[0]);
  if (child == 0) {
    int in = open("/dev/null", O_RDONLY);
    int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (in < 0 || out < 0 || err < 0) _exit(126);
    dup2(in, 0);
    dup2(out, 1);
    dup2(err, 2);
    if (chdir(workingDirectory.c_str()) != 0) _exit(126);
    for (const std::string& assignment : extraEnvironment)
      putenv(strdup(assignment.c_str()));
    execv(args[0], args.data());
    _exit(127);
  }
  return child;
}

CommandResult RunCommand(const std::vector<std::string>& argv,
                         const std::string& workingDirectory,
                         const std::vector<std::string>& extraEnvironment) {
  TempDir captures;
  const std::string outPath = captures.path() + "/out";
  const std::string errPath = captures.path() + "/err";
  pid_t child =
      StartChild(argv, workingDirectory, extraEnvironment, outPath, errPath);
  int status = 0;
  struct rusage usage = {};
  wait4(child, &status, 0, &usage);
  CommandResult result;
  result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  result.peakRssKb = usage.ru_maxrss;
  int outFd = open(outPath.c_str(), O_RDONLY);
  int errFd = open(errPath.c_str(), O_RDONLY);
  result.out = outFd >= 0 ? ReadAll(outFd) : std::string();
  result.err = errFd >= 0 ? ReadAll(errFd) : std::string();
  if (outFd >= 0) close(outFd);
  if (errFd >= 0) close(errFd);
  return result;
}

namespace {

// A built program: named by an environment variable, or else found where
// the build puts it, one folder above the test binary.
std::string BuiltProgram(const char* variable, const char* name) {
  const char* value = getenv(variable);
  if (value != nullptr && *value != '\0') return value;
  std::error_code error;
  std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
  if (error) throw std::runtime_error("cannot find the test binary");
  return (self.parent_path().parent_path() / name).string();
}

}  // namespace

std::string PatchInstallerPath() {
  return BuiltProgram("PATCH_INSTALLER", "patch_installer");
}

std::string FffToolPath() { return BuiltProgram("FFF_TOOL", "fff"); }

namespace {

void WriteString(std::string& out, const std::string& text) {
  uint32_t size = static_cast<uint32_t>(text.size());
  out.append(reinterpret_cast<const char*>(&size), sizeof size);
  out += text;
}

bool ReadString(const std::string& in, size_t& at, std::string* text) {
  uint32_t size;
  if (at + sizeof size > in.size()) return false;
  memcpy(&size, in.data() + at, sizeof size);
  at += sizeof size;
  if (at + size > in.size()) return false;
  *text = in.substr(at, size);
  at += size;
  return true;
}

int childReportFd = -1;
std::function<std::string()> childProbe;

void ReportFromChild(bool ended, int exitCode) {
  std::string report;
  WriteString(report, ended ? "ended" : "returned");
  WriteString(report, std::to_string(exitCode));
  WriteString(report, childProbe ? childProbe() : std::string());
  for (const RecordedBox& box : recordedBoxes) {
    WriteString(report, box.caption);
    WriteString(report, std::to_string(box.style));
    WriteString(report, box.text);
  }
  size_t written = 0;
  while (written < report.size()) {
    ssize_t n = write(childReportFd, report.data() + written, report.size() - written);
    if (n <= 0) break;
    written += static_cast<size_t>(n);
  }
  close(childReportFd);
}

void ChildProcessEnd(int exitCode) { ReportFromChild(true, exitCode); }

}  // namespace

ProcessOutcome RunInChild(const std::function<void()>& body,
                          const std::function<std::string()>& probe) {
  int fds[2];
  if (pipe(fds) != 0) throw std::runtime_error("pipe failed");
  fflush(stdout);
  fflush(stderr);
  pid_t child = fork();
  if (child < 0) throw std::runtime_error("fork failed");
  if (child == 0) {
    close(fds[0]);
    int devnull = open("/dev/null", O_RDWR);
    dup2(devnull, 0);
    dup2(devnull, 2);  // the recorder's echo is not needed here
    childReportFd = fds[1];
    childProbe = probe;
    RecordingMessageBox recorder;
    SetProcessEndHook(ChildProcessEnd);
    body();
    ReportFromChild(false, 0);
    _exit(0);
  }
  close(fds[1]);
  std::string report = ReadAll(fds[0]);
  close(fds[0]);
  int status = 0;
  waitpid(child, &status, 0);

  ProcessOutcome outcome;
  outcome.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  size_t at = 0;
  std::string how, code, caption, style, text;
  if (!ReadString(report, at, &how) || !ReadString(report, at, &code) ||
      !ReadString(report, at, &outcome.probe))
    return outcome;
  outcome.ended = how == "ended";
  while (ReadString(report, at, &caption) && ReadString(report, at, &style) &&
         ReadString(report, at, &text))
    outcome.boxes.push_back(
        RecordedBox{text, caption, static_cast<unsigned>(std::stoul(style))});
  return outcome;
}

void ExpectFileSystemFatal(const ProcessOutcome& outcome, const std::string& text) {
  EXPECT_TRUE(outcome.ended);
  EXPECT_EQ(255, outcome.exitCode);
  ASSERT_EQ(1u, outcome.boxes.size());
  EXPECT_EQ("Gravelhorn Patch Installer", outcome.boxes[0].caption);
  EXPECT_EQ(0x10u, outcome.boxes[0].style);
  EXPECT_EQ(text, outcome.boxes[0].text);
}

std::string WineRegistryEscape(const std::string& text) {
  std::string escaped;
  for (char16_t unit : HostToWide(text)) {
    char hex[8];
    snprintf(hex, sizeof hex, "\\x%04x", unsigned(unit));
    if (unit == '\\' || unit == '"') escaped += '\\';
    if (unit < 0x80)
      escaped += static_cast<char>(unit);
    else
      escaped += hex;  // as Wine writes every character past ASCII
  }
  return escaped;
}

FakePrefix::FakePrefix() {
  MakeFolders(DriveC());
  MakeFolders(path() + "/dosdevices");
  if (symlink("../drive_c", (path() + "/dosdevices/c:").c_str()) != 0)
    throw std::runtime_error("cannot link dosdevices/c: in " + path());
}

void FakePrefix::WriteGameKey(
    const std::vector<std::pair<std::string, std::string>>& values, bool win64,
    const std::string& subkey) {
  std::string reg =
      "WINE REGISTRY Version 2\n"
      ";; All keys relative to \\\\Machine\n\n";
  if (win64) reg += "#arch=win64\n\n";
  reg +=
      "[Software\\\\Classes\\\\.txt] 1796580330\n"
      "#time=1da2b3c4d5e6f70\n"
      "@=\"txtfile\"\n\n";
  const std::string key = win64 ? "Software\\\\Wow6432Node\\\\Quillfern\\\\GHR"
                                : "Software\\\\Quillfern\\\\GHR";
  // Wine saves a key with subkeys but no values through its subkeys alone.
  if (!values.empty() || subkey.empty())
    reg += "[" + key + "] 1796580337\n#time=1da2b3c4d5e6f71\n";
  for (const auto& value : values)
    reg += "\"" + WineRegistryEscape(value.first) + "\"=\"" +
           WineRegistryEscape(value.second) + "\"\n";
  if (!subkey.empty())
    reg += "\n[" + key + "\\\\" + subkey + "] 1796580338\n#time=1da2b3c4d5e6f73\n";
  reg += "\n[System\\\\CurrentControlSet\\\\Control] 1796580331\n"
         "#time=1da2b3c4d5e6f72\n"
         "\"SystemStartOptions\"=\"\"\n";
  WriteFileBytes(path() + "/system.reg", reg);
}

void FakePrefix::WriteRegistryWithoutKey() {
  WriteFileBytes(path() + "/system.reg",
                 "WINE REGISTRY Version 2\n"
                 ";; All keys relative to \\\\Machine\n\n#arch=win64\n\n"
                 "[Software\\\\Classes\\\\.txt] 1796580330\n"
                 "#time=1da2b3c4d5e6f70\n@=\"txtfile\"\n");
}
