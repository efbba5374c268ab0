// What the fuzz targets share: a fatal error of the installer ends the
// current input instead of the fuzzer, message boxes stay silent, and every
// input runs inside a small fake Wine prefix.
#ifndef GRAVELHORN_TESTS_FUZZ_FUZZ_SUPPORT_H_
#define GRAVELHORN_TESTS_FUZZ_FUZZ_SUPPORT_H_

#include <cstddef>
#include <cstdint>
#include <string>

// Thrown by the process-end hook: the installer asked to end the process.
struct FuzzRunEnded {};

// For one input: the fake prefix ($WINEPREFIX, made once per process, with
// only c: linked: <temp>/prefix/dosdevices/c: -> ../drive_c) and its work
// folder drive_c/Work as the current folder, so that every path the
// installer maps stays inside drive_c. The fuzzer's own folder is current
// again afterwards (libFuzzer writes its findings there).
class FuzzInput {
 public:
  FuzzInput();
  ~FuzzInput();
  static std::string prefix, workFolder;

 private:
  int previous_;
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
void WriteWholeFile(const std::string& path, const uint8_t* data, size_t size);

// Splits the next line (without its "\n") off the front of the input.
std::string TakeLine(const uint8_t** data, size_t* size);

#endif  // GRAVELHORN_TESTS_FUZZ_FUZZ_SUPPORT_H_
