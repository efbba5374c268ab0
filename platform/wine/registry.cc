// The Linux stand-in for the registry: HKEY_LOCAL_MACHINE is the Wine
// prefix's system.reg. A missing or unreadable file means the key is absent.
#include "platform/registry.h"

#include <string>

#include "platform/wine/wine_prefix.h"
#include "platform/wine/wine_registry.h"

RegistryStatus QueryRegistryValue(RegistryRoot root, const char* keyPath,
                                  const char* valueName, RegistryValue* value) {
  const std::string prefix = WinePrefixDirectory();
  if (root != REGISTRY_LOCAL_MACHINE || prefix.empty())
    return REGISTRY_KEY_MISSING;
  std::string text;
  int error;
  if (!ReadWineRegistryFile(prefix + "/system.reg", &text, &error))
    return REGISTRY_KEY_MISSING;
  return FindWineRegistryValue(text, KeyPathInView(text, keyPath, true).c_str(),
                               valueName, value);
}
