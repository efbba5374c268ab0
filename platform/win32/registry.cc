#include "platform/registry.h"

#include <windows.h>

RegistryStatus QueryRegistryValue(RegistryRoot root, const char* keyPath,
                                  const char* valueName, RegistryValue* value) {
  HKEY key;
  // The game's setup is a 32-bit program: on 64-bit Windows its key lives in
  // the 32-bit view, which a 64-bit build must ask for. A 32-bit build
  // ignores the flag.
  LONG status =
      RegOpenKeyExA(reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(root)),
                    keyPath, 0, KEY_QUERY_VALUE | KEY_WOW64_32KEY, &key);
  if (status != ERROR_SUCCESS) return REGISTRY_KEY_MISSING;

  DWORD size = kRegistryReadSize;
  status =
      RegQueryValueExA(key, valueName, nullptr, nullptr, value->data, &size);
  RegCloseKey(key);

  if (status == ERROR_MORE_DATA) return REGISTRY_VALUE_TOO_LONG;
  if (status != ERROR_SUCCESS) return REGISTRY_VALUE_MISSING;
  value->size = size <= kRegistryReadSize ? size : kRegistryReadSize;
  return REGISTRY_VALUE_READ;
}
