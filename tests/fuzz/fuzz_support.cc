#include "tests/fuzz/fuzz_support.h"

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>

#include "platform/message_box.h"
#include "platform/process_end.h"

namespace {

std::string tempFolder, prefixFolder, workFolder;

[[noreturn]] void Fail(const std::string& what) {
  fprintf(stderr, "fuzz setup: %s\n", what.c_str());
  abort();
}

void MakeFuzzPrefix() {
  SetMessageBoxHandler([](const char*, const char*, unsigned) {});
  SetProcessEndHook([](int) { throw FuzzRunEnded{}; });
  const char* base = getenv("TMPDIR");
  std::string pattern = std::string(base != nullptr && *base ? base : "/tmp") + "/ghr_fuzz.XXXXXX";
  if (mkdtemp(&pattern[0]) == nullptr) Fail("mkdtemp failed for " + pattern);
  tempFolder = pattern;
  atexit([] { std::filesystem::remove_all(tempFolder); });
  prefixFolder = tempFolder + "/prefix";
  workFolder = prefixFolder + "/drive_c/Work";
  std::filesystem::create_directories(workFolder + "/Cfg");
  std::filesystem::create_directories(prefixFolder + "/dosdevices");
  if (symlink("../drive_c", (prefixFolder + "/dosdevices/c:").c_str()) != 0 ||
      setenv("WINEPREFIX", prefixFolder.c_str(), 1) != 0)
    Fail("cannot make the prefix in " + prefixFolder);
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

const std::string& FuzzInput::Prefix() { return prefixFolder; }
const std::string& FuzzInput::WorkFolder() { return workFolder; }

void WriteWholeFile(const std::string& path, const uint8_t* data, size_t size) {
  FILE* file = fopen(path.c_str(), "wb");
  if (file == nullptr || (size > 0 && fwrite(data, 1, size, file) != size) || fclose(file) != 0)
    Fail("cannot write " + path);
}

std::string TakeLine(const uint8_t** data, size_t* size) {
  const void* end = memchr(*data, '\n', *size);
  const size_t length = end != nullptr ? size_t(static_cast<const uint8_t*>(end) - *data) : *size;
  std::string line(reinterpret_cast<const char*>(*data), length);
  const size_t taken = end != nullptr ? length + 1 : length;
  *data += taken;
  *size -= taken;
  return line;
}
