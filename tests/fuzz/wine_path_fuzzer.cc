// A Windows path from the fuzzer (up to its first zero), mapped in the fake
// prefix from its work folder. A path may be refused (an empty, network or
// invalid one); every mapped path must stay on a drive of the prefix: no
// ".." may survive, and no doubled or trailing separator.
#include <cstdlib>
#include <cstring>

#include "platform/wine/wine_path.h"
#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzInput input;
  const std::string windowsPath(reinterpret_cast<const char*>(data),
                                strnlen(reinterpret_cast<const char*>(data), size));
  std::string hostPath;
  bool onDrive = false;
  if (!MapWindowsPath(windowsPath.c_str(), FuzzInput::prefix, &hostPath, &onDrive)) return 0;
  const std::string drives = FuzzInput::prefix + "/dosdevices/";
  const std::string below = hostPath.substr(std::min(drives.size(), hostPath.size())) + "/";
  if (windowsPath.empty() || !onDrive || hostPath.compare(0, drives.size(), drives) != 0 ||
      below.find("/../") != std::string::npos || below.find("/./") != std::string::npos ||
      below.find("//") != std::string::npos)
    abort();
  return 0;
}
