// What the fuzz targets share: a fatal error of the installer ends the
// current input instead of the fuzzer, message boxes stay silent, and disk
// lookups stay inside a small fake Wine prefix.
#ifndef GRAVELHORN_TESTS_FUZZ_FUZZ_SUPPORT_H_
#define GRAVELHORN_TESTS_FUZZ_FUZZ_SUPPORT_H_

#include <cstddef>
#include <cstdint>
#include <string>

// Thrown by the process-end hook: the installer asked to end the process.
struct FuzzRunEnded {
  int exitCode;
};

// Once per process: silences message boxes, turns EndProcess into a throw of
// FuzzRunEnded, and makes the fake prefix ($WINEPREFIX from then on):
//
//   <temp>/prefix/dosdevices/c: -> ../drive_c
//   <temp>/prefix/drive_c/Work/            the current folder of each input
//   <temp>/prefix/drive_c/Games/GHR/...    a few files in mixed case
//
// With no other drive linked, every path the installer maps from the work
// folder stays inside drive_c. The folder is removed at exit.
void PrepareFuzzProcess();

// Makes the work folder current for one input and the fuzzer's own folder
// current again afterwards (libFuzzer reads corpus paths relative to it).
class InWorkFolder {
 public:
  InWorkFolder();
  ~InWorkFolder();
  InWorkFolder(const InWorkFolder&) = delete;
  InWorkFolder& operator=(const InWorkFolder&) = delete;

 private:
  int previous_;
};

// The prefix folder (also $WINEPREFIX) and its work folder.
const std::string& FuzzPrefix();
const std::string& FuzzWorkFolder();

// Runs body; true when it ended through the installer's fatal error.
template <typename Body>
bool RunUntilFatal(Body body) {
  try {
    body();
    return false;
  } catch (const FuzzRunEnded&) {
    return true;
  }
}

// Writes size bytes to path, replacing it; aborts when it cannot.
void WriteWholeFile(const std::string& path, const uint8_t* data, size_t size);

// Splits the next line (without its "\n") off the front of the input.
std::string TakeLine(const uint8_t** data, size_t* size);

#endif  // GRAVELHORN_TESTS_FUZZ_FUZZ_SUPPORT_H_
