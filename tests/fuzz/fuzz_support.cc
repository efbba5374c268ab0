#include "tests/fuzz/fuzz_support.h"

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string_view>

#include "platform/message_box.h"
#include "platform/process_end.h"

std::string FuzzInput::prefix, FuzzInput::workFolder;

namespace {

std::string tempFolder;

[[noreturn]] void Fail(const std::string& what) {
  fprintf(stderr, "fuzz setup: %s\n", what.c_str());
  abort();
}

void MakeFuzzPrefix() {
  SetMessageBoxHandler([](const char*, const char*, unsigned) {});
  SetProcessEndHook([](int) { throw FuzzRunEnded{}; });
  std::string pattern = std::filesystem::temp_directory_path() / "ghr_fuzz.XXXXXX";
  if (mkdtemp(&pattern[0]) == nullptr) Fail("mkdtemp failed for " + pattern);
  tempFolder = pattern;
  atexit([] { std::filesystem::remove_all(tempFolder); });
  FuzzInput::prefix = tempFolder + "/prefix";
  FuzzInput::workFolder = FuzzInput::prefix + "/drive_c/Work";
  std::filesystem::create_directories(FuzzInput::workFolder + "/Cfg");
  std::filesystem::create_directories(FuzzInput::prefix + "/dosdevices");
  if (symlink("../drive_c", (FuzzInput::prefix + "/dosdevices/c:").c_str()) != 0 ||
      setenv("WINEPREFIX", FuzzInput::prefix.c_str(), 1) != 0)
    Fail("cannot make the prefix in " + FuzzInput::prefix);
}

}  // namespace

FuzzInput::FuzzInput() {
  if (tempFolder.empty()) MakeFuzzPrefix();
  previous_ = open(".", O_RDONLY | O_DIRECTORY);
  if (previous_ < 0 || chdir(workFolder.c_str()) != 0) Fail("cannot enter " + workFolder);
}

FuzzInput::~FuzzInput() {
  if (fchdir(previous_) != 0) Fail("cannot return from " + workFolder);
  close(previous_);
}

void WriteWholeFile(const std::string& path, const uint8_t* data, size_t size) {
  FILE* file = fopen(path.c_str(), "wb");
  if (file == nullptr || (size > 0 && fwrite(data, 1, size, file) != size) || fclose(file) != 0)
    Fail("cannot write " + path);
}

std::string TakeLine(const uint8_t** data, size_t* size) {
  const std::string_view rest(reinterpret_cast<const char*>(*data), *size);
  const std::string line(rest.substr(0, rest.find('\n')));
  const size_t taken = std::min(line.size() + 1, *size);
  *data += taken;
  *size -= taken;
  return line;
}
