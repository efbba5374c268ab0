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

std::string tempFolder;
std::string prefixFolder;
std::string workFolder;

void SilentBox(const char*, const char*, unsigned) {}

[[noreturn]] void ThrowOnProcessEnd(int exitCode) {
  throw FuzzRunEnded{exitCode};
}

[[noreturn]] void Fail(const std::string& what) {
  fprintf(stderr, "fuzz setup: %s\n", what.c_str());
  abort();
}

void RemoveTempFolder() {
  std::error_code ignored;
  std::filesystem::remove_all(tempFolder, ignored);
}

void WriteText(const std::string& path, const char* text) {
  WriteWholeFile(path, reinterpret_cast<const uint8_t*>(text), strlen(text));
}

}  // namespace

void PrepareFuzzProcess() {
  if (!tempFolder.empty()) return;
  SetMessageBoxHandler(SilentBox);
  SetProcessEndHook(ThrowOnProcessEnd);

  const char* base = getenv("TMPDIR");
  std::string pattern =
      std::string(base != nullptr && *base ? base : "/tmp") + "/ghr_fuzz.XXXXXX";
  if (mkdtemp(&pattern[0]) == nullptr) Fail("mkdtemp failed for " + pattern);
  tempFolder = pattern;
  atexit(RemoveTempFolder);

  prefixFolder = tempFolder + "/prefix";
  const std::string driveC = prefixFolder + "/drive_c";
  workFolder = driveC + "/Work";
  std::error_code error;
  for (const std::string& folder :
       {prefixFolder + "/dosdevices", workFolder + "/Cfg",
        driveC + "/Games/GHR/Cfg", driveC + "/Games/GHR/Data"}) {
    std::filesystem::create_directories(folder, error);
    if (error) Fail("cannot make " + folder);
  }
  if (symlink("../drive_c", (prefixFolder + "/dosdevices/c:").c_str()) != 0)
    Fail("cannot link dosdevices/c: in " + prefixFolder);
  WriteText(driveC + "/Games/GHR/Cfg/Menu.cfg", "[Version]\r\nversion=v1.1\r\n");
  WriteText(driveC + "/Games/GHR/Data/LEVEL1.map", "level");
  WriteText(driveC + "/Games/GHR/data.bin", "lower");
  WriteText(driveC + "/Games/GHR/DATA.BIN", "upper");
  if (setenv("WINEPREFIX", prefixFolder.c_str(), 1) != 0) Fail("setenv failed");
}

InWorkFolder::InWorkFolder() : previous_(open(".", O_RDONLY | O_DIRECTORY)) {
  if (previous_ < 0 || chdir(workFolder.c_str()) != 0)
    Fail("cannot enter " + workFolder);
}

InWorkFolder::~InWorkFolder() {
  if (fchdir(previous_) != 0) Fail("cannot return from " + workFolder);
  close(previous_);
}

const std::string& FuzzPrefix() { return prefixFolder; }

const std::string& FuzzWorkFolder() { return workFolder; }

void WriteWholeFile(const std::string& path, const uint8_t* data, size_t size) {
  FILE* file = fopen(path.c_str(), "wb");
  if (file == nullptr) Fail("cannot create " + path);
  const bool written = size == 0 || fwrite(data, 1, size, file) == size;
  if (fclose(file) != 0 || !written) Fail("cannot write " + path);
}

std::string TakeLine(const uint8_t** data, size_t* size) {
  const void* end = memchr(*data, '\n', *size);
  const size_t length =
      end != nullptr ? size_t(static_cast<const uint8_t*>(end) - *data) : *size;
  std::string line(reinterpret_cast<const char*>(*data), length);
  const size_t taken = end != nullptr ? length + 1 : length;
  *data += taken;
  *size -= taken;
  return line;
}
