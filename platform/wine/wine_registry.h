// A reader for the text registry files that Wine keeps in a prefix
// (system.reg holds HKEY_LOCAL_MACHINE).
#ifndef GRAVELHORN_PLATFORM_WINE_REGISTRY_H_
#define GRAVELHORN_PLATFORM_WINE_REGISTRY_H_

#include <string>

#include "platform/registry.h"

// Reads the registry file at path whole into *text, never waiting at a
// fifo or reading past the file's size (platform/wine/regular_file.h).
// False when it cannot be read: *error is then the system's error number,
// or kNotARegularFile.
bool ReadWineRegistryFile(const std::string& path, std::string* text,
                          int* error);

// Whether the file declares "#arch=win64": its 32-bit programs then see
// Software\Wow6432Node\... where they ask for Software\....
bool WineRegistryIsWin64(const std::string& fileText);

// Where keyPath lies in the file for a 32-bit program (thirtyTwoBit) or a
// 64-bit one: under Software\Wow6432Node for a 32-bit program in a 64-bit
// prefix, as it is for all programs in a 32-bit prefix.
std::string KeyPathInView(const std::string& fileText, const char* keyPath,
                          bool thirtyTwoBit);

// Looks valueName up under keyPath (relative to the file's root, single
// backslashes) in the text of a Wine registry file. Key and value names
// compare without regard to letter case. Strings come back decoded from
// Wine's escapes, in the ANSI code page as Windows' narrow registry read
// converts them (WideToNarrow), with their terminating zero; other types as the
// bytes Windows would deliver. value is written only for REGISTRY_VALUE_READ.
RegistryStatus FindWineRegistryValue(const std::string& fileText,
                                     const char* keyPath, const char* valueName,
                                     RegistryValue* value);

#endif  // GRAVELHORN_PLATFORM_WINE_REGISTRY_H_
