#include "filesystem/fff_format.h"

#include <cstring>

#include "filesystem/ascii_case.h"

namespace {

// values[0] is the byte-at-a-time table; values[k] also runs k zero bytes
// through, so that four bytes take one step (slicing by four).
struct Crc32TableBuilder {
  uint32_t values[4][256];
  constexpr Crc32TableBuilder() : values() {
    for (uint32_t i = 0; i < 256; ++i) {
      uint32_t c = i;
      for (int bit = 0; bit < 8; ++bit)
        c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
      values[0][i] = c;
    }
    for (int k = 1; k < 4; ++k)
      for (uint32_t i = 0; i < 256; ++i)
        values[k][i] =
            (values[k - 1][i] >> 8) ^ values[0][values[k - 1][i] & 0xFF];
  }
};

constexpr Crc32TableBuilder kBuiltTable;
constexpr const uint32_t (&kTables)[4][256] = kBuiltTable.values;

// UpperCaseAscii on each byte of word. A byte's low seven bits plus 0x1F
// reach bit 7 from 'a' on, plus 0x05 from past 'z' on, and neither sum
// carries into the next byte; bytes of 0x80 and above are left alone.
uint32_t UpperCaseAsciiBytes(uint32_t word) {
  const uint32_t low = word & 0x7F7F7F7Fu;
  const uint32_t fromA = low + 0x1F1F1F1Fu;
  const uint32_t pastZ = low + 0x05050505u;
  const uint32_t lowerCase = fromA & ~pastZ & ~word & 0x80808080u;
  return word - (lowerCase >> 2);  // 0x20 off each lower-case letter
}

uint32_t HashBytes(const unsigned char* bytes, size_t length) {
  uint32_t h = 0;
  size_t i = 0;
  for (; i + 4 <= length; i += 4) {
    h ^= UpperCaseAsciiBytes(ReadLittleEndian32(bytes + i));
    h = kTables[3][h & 0xFF] ^ kTables[2][(h >> 8) & 0xFF] ^
        kTables[1][(h >> 16) & 0xFF] ^ kTables[0][h >> 24];
  }
  for (; i < length; ++i)
    h = (h >> 8) ^ kTables[0][(h ^ UpperCaseAscii(bytes[i])) & 0xFF];
  return h;
}

}  // namespace

uint32_t NameHashBounded(const char* name, size_t maxLength) {
  return HashBytes(reinterpret_cast<const unsigned char*>(name),
                   strnlen(name, maxLength));
}

uint32_t NameHash(const char* name) {
  return HashBytes(reinterpret_cast<const unsigned char*>(name), strlen(name));
}
