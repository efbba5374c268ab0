#include "filesystem/fff_format.h"

namespace {

struct Crc32TableBuilder {
  uint32_t values[256];
  constexpr Crc32TableBuilder() : values() {
    for (uint32_t i = 0; i < 256; ++i) {
      uint32_t c = i;
      for (int bit = 0; bit < 8; ++bit)
        c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
      values[i] = c;
    }
  }
};

constexpr Crc32TableBuilder kBuiltTable;

}  // namespace

const uint32_t (&kCrc32Table)[256] = kBuiltTable.values;

uint32_t NameHashBounded(const char* name, size_t maxLength) {
  uint32_t h = 0;
  for (size_t i = 0; i < maxLength && name[i] != '\0'; ++i) {
    unsigned char c = static_cast<unsigned char>(name[i]);
    if (c >= 'a' && c <= 'z') c = static_cast<unsigned char>(c - 32);
    h = (h >> 8) ^ kCrc32Table[(h ^ c) & 0xFF];
  }
  return h;
}

uint32_t NameHash(const char* name) { return NameHashBounded(name, SIZE_MAX); }
