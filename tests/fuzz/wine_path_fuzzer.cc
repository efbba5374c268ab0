// A Windows path from the fuzzer (up to its first zero), mapped in the fake
// prefix from its work folder. Every mapped path must stay on a drive of
// the prefix: no ".." may survive, and no doubled or trailing separator.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/wine_path.h"
#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  PrepareFuzzProcess();
  InWorkFolder inWorkFolder;
  const char* text = reinterpret_cast<const char*>(data);
  const std::string windowsPath(text, strnlen(text, size));

  std::string hostPath;
  const bool mapped = MapWindowsPath(windowsPath.c_str(), FuzzPrefix(), &hostPath);
  if (mapped != !windowsPath.empty()) abort();
  if (!mapped) return 0;

  const std::string drives = FuzzPrefix() + "/dosdevices/";
  if (hostPath.compare(0, drives.size(), drives) != 0) abort();
  const std::string below = hostPath.substr(drives.size()) + "/";
  if (below.find("/../") != std::string::npos ||
      below.find("/./") != std::string::npos ||
      below.find("//") != std::string::npos)
    abort();
  return 0;
}
