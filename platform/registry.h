// Reading one value of the machine-wide registry.
#ifndef GRAVELHORN_PLATFORM_REGISTRY_H_
#define GRAVELHORN_PLATFORM_REGISTRY_H_

#include <cstddef>
#include <cstdint>

// The registry root the installer reads from; the value is Windows' own.
enum RegistryRoot : uint32_t { REGISTRY_LOCAL_MACHINE = 0x80000002u };

// The installer announces a buffer of this many bytes to every query.
const size_t kRegistryReadSize = 256;

enum RegistryStatus {
  REGISTRY_KEY_MISSING,     // the key cannot be opened for query access
  REGISTRY_VALUE_MISSING,   // the key exists, the value does not
  REGISTRY_VALUE_READ,      // data holds the value's bytes
  REGISTRY_VALUE_TOO_LONG,  // the value needs more than kRegistryReadSize
};

// A value's data as the narrow-character registry interface delivers it: a
// string in the ANSI code page with its terminating zero (if it was stored
// with one), any other type as its raw bytes.
struct RegistryValue {
  unsigned char data[kRegistryReadSize];
  size_t size;
};

// Reads valueName of root\keyPath in the 32-bit view of the registry, where
// the game's 32-bit setup registers. Fills value only when the result is
// REGISTRY_VALUE_READ. keyPath uses single backslashes.
RegistryStatus QueryRegistryValue(RegistryRoot root, const char* keyPath,
                                  const char* valueName, RegistryValue* value);

#endif  // GRAVELHORN_PLATFORM_REGISTRY_H_
