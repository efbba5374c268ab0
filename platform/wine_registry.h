// A reader for the text registry files that Wine keeps in a prefix
// (system.reg holds HKEY_LOCAL_MACHINE).
#ifndef GRAVELHORN_PLATFORM_WINE_REGISTRY_H_
#define GRAVELHORN_PLATFORM_WINE_REGISTRY_H_

#include <string>

#include "platform/registry.h"

// Whether the file declares "#arch=win64": its 32-bit programs then see
// Software\Wow6432Node\... where they ask for Software\....
bool WineRegistryIsWin64(const std::string& fileText);

// Looks valueName up under keyPath (relative to the file's root, single
// backslashes) in the text of a Wine registry file. Key and value names
// compare without regard to ASCII case. Strings come back decoded from
// Wine's escapes, in code page 1252 ('?' for a character it lacks), with
// their terminating zero; other types as the bytes Windows would deliver.
// value is written only for REGISTRY_VALUE_READ.
RegistryStatus FindWineRegistryValue(const std::string& fileText,
                                     const char* keyPath,
                                     const char* valueName,
                                     RegistryValue* value);

#endif  // GRAVELHORN_PLATFORM_WINE_REGISTRY_H_
