// What the fuzz targets share: a fatal error of the installer ends the
// current input instead of the fuzzer, message boxes stay silent, and every
// input runs inside a small fake Wine prefix.
#ifndef GRAVELHORN_TESTS_FUZZ_FUZZ_SUPPORT_H_
#define GRAVELHORN_TESTS_FUZZ_FUZZ_SUPPORT_H_

#include <stdlib.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>

#include "platform/message_box.h"
#include "platform/process_end.h"

// Thrown by the process-end hook: the installer asked to end the process.
struct FuzzRunEnded {};

[[noreturn]] inline void FuzzSetupFailed(const std::string& what) {
  fprintf(stderr, "fuzz setup: %s\n", what.c_str());
  abort();
}

// For one input: the fake prefix ($WINEPREFIX, made once per process in
// the temporary folder, with only c: linked: prefix/dosdevices/c: ->
// ../drive_c) and its work folder drive_c/Work, holding Cfg/, as the
// current folder, so that every path the installer maps stays inside
// drive_c. The fuzzer's own folder is current again afterwards (libFuzzer
// writes its findings there).
class FuzzInput {
 public:
  FuzzInput() {
    if (prefix.empty()) {
      SetMessageBoxHandler([](const char*, const char*, unsigned) {});
      SetProcessEndHook([](int) { throw FuzzRunEnded{}; });
      static std::string folder = std::filesystem::temp_directory_path() / "ghr_fuzz.XXXXXX";
      if (mkdtemp(&folder[0]) == nullptr) FuzzSetupFailed("mkdtemp failed for " + folder);
      atexit([] { std::filesystem::remove_all(folder); });
      prefix = folder + "/prefix";
      workFolder = prefix + "/drive_c/Work";
      std::filesystem::create_directories(workFolder + "/Cfg");
      std::filesystem::create_directories(prefix + "/dosdevices");
      std::filesystem::create_directory_symlink("../drive_c", prefix + "/dosdevices/c:");
      setenv("WINEPREFIX", prefix.c_str(), 1);
    }
    std::filesystem::current_path(workFolder);  // these throw, and so end the fuzzer, on failure
  }
  ~FuzzInput() { std::filesystem::current_path(previous_); }
  static inline std::string prefix, workFolder;

 private:
  const std::filesystem::path previous_ = std::filesystem::current_path();
};

// Runs body; a fatal error of the installer ends only this input.
template <typename Body>
void RunUntilFatal(Body body) {
  try {
    body();
  } catch (const FuzzRunEnded&) {
  }
}

// Writes size bytes to path, replacing it; aborts when it cannot.
inline void WriteWholeFile(const std::string& path, const uint8_t* data, size_t size) {
  FILE* file = fopen(path.c_str(), "wb");
  if (file == nullptr || (size > 0 && fwrite(data, 1, size, file) != size) || fclose(file) != 0)
    FuzzSetupFailed("cannot write " + path);
}

// Splits the next line (without its "\n") off the front of the input.
inline std::string TakeLine(const uint8_t** data, size_t* size) {
  const std::string rest(reinterpret_cast<const char*>(*data), *size);
  const std::string line = rest.substr(0, rest.find('\n'));
  const size_t taken = line.size() < *size ? line.size() + 1 : *size;
  *data += taken;
  *size -= taken;
  return line;
}

#endif  // GRAVELHORN_TESTS_FUZZ_FUZZ_SUPPORT_H_
