// A Wine registry file from the fuzzer, laid out as "key path\nvalue
// name\nfile text": the value is looked up in the text directly, and
// through the installer's registry read with the text as system.reg.
#include <cstdlib>
#include <cstring>

#include "installer/startup.h"
#include "platform/wine/wine_registry.h"
#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzInput input;
  const std::string keyPath = TakeLine(&data, &size);
  const std::string valueName = TakeLine(&data, &size);
  const std::string text(reinterpret_cast<const char*>(data), size);
  WineRegistryIsWin64(text);
  RegistryValue value;
  if (FindWineRegistryValue(text, keyPath.c_str(), valueName.c_str(), &value) ==
          REGISTRY_VALUE_READ &&
      value.size > kRegistryReadSize)
    abort();
  WriteWholeFile(FuzzInput::prefix + "/system.reg", data, size);
  char destination[16];
  memset(destination, 0x5A, sizeof destination);
  if (ReadRegistryValue(REGISTRY_LOCAL_MACHINE, keyPath.c_str(), valueName.c_str(), destination,
                        sizeof destination) &&
      destination[0] != 0x5A && memchr(destination, '\0', sizeof destination) == nullptr)
    abort();
  return 0;
}
