// The FFF archive format's records, its little-endian integers and the name
// hash that lookups compare first. archive_directory.cc describes the layout
// and how it is read; the fff tool writes it.
#ifndef GRAVELHORN_FILESYSTEM_FFF_FORMAT_H_
#define GRAVELHORN_FILESYSTEM_FFF_FORMAT_H_

#include <cstddef>
#include <cstdint>

const size_t kFffHeaderSize = 28;
const size_t kDirectoryEntrySize = 136;
const size_t kDirectoryNameSize = 128;

struct FffHeader {
  unsigned char reserved[24];
  uint32_t directorySize;
};

struct DirectoryEntry {
  char name[kDirectoryNameSize];
  uint32_t offset;
  uint32_t size;
};

static_assert(sizeof(FffHeader) == kFffHeaderSize, "FFF header is 28 bytes");
static_assert(sizeof(DirectoryEntry) == kDirectoryEntrySize,
              "FFF directory entries are 136 bytes");

// Reads a little-endian 32-bit value; the format's integers are stored so
// whatever the host's byte order.
inline uint32_t ReadLittleEndian32(const unsigned char* bytes) {
  return uint32_t(bytes[0]) | uint32_t(bytes[1]) << 8 |
         uint32_t(bytes[2]) << 16 | uint32_t(bytes[3]) << 24;
}

inline void WriteLittleEndian32(unsigned char* bytes, uint32_t value) {
  bytes[0] = static_cast<unsigned char>(value);
  bytes[1] = static_cast<unsigned char>(value >> 8);
  bytes[2] = static_cast<unsigned char>(value >> 16);
  bytes[3] = static_cast<unsigned char>(value >> 24);
}

// The hash that directory lookups compare first: CRC-32 with initial value 0
// and no final inversion, over the name with 'a'-'z' upper-cased. Reads up to
// the terminating zero.
uint32_t NameHash(const char* name);

// The same over at most maxLength bytes, stopping early at a zero; used for
// directory names, which may fill their 128-byte field without a zero.
uint32_t NameHashBounded(const char* name, size_t maxLength);

#endif  // GRAVELHORN_FILESYSTEM_FFF_FORMAT_H_
