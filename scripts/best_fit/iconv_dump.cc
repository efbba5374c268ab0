// What this machine's iconv makes of every UTF-16 unit from 2 to FFFF in
// the code page named by the argument (CP1252, UTF-8, ...), one unit at a
// time and flushed: one line per unit, the unit and the bytes in hex, or
// the unit and FAIL where iconv has no character for it.
#include <iconv.h>

#include <cstdio>

int main(int argc, char** argv) {
  if (argc != 2) return 1;
  iconv_t converter = iconv_open(argv[1], "UTF-16LE");
  if (converter == iconv_t(-1)) return 2;
  for (unsigned unit = 2; unit < 0x10000; ++unit) {
    char in[2] = {char(unit & 0xFF), char(unit >> 8)};
    char out[16];
    char* inAt = in;
    char* outAt = out;
    size_t inLeft = sizeof in, outLeft = sizeof out;
    iconv(converter, nullptr, nullptr, nullptr, nullptr);
    const bool converted =
        iconv(converter, &inAt, &inLeft, &outAt, &outLeft) != size_t(-1) &&
        iconv(converter, nullptr, nullptr, &outAt, &outLeft) != size_t(-1);
    printf("%04X", unit);
    if (!converted) printf(" FAIL");
    for (const char* byte = out; converted && byte < outAt; ++byte)
      printf(" %02X", static_cast<unsigned char>(*byte));
    printf("\n");
  }
  return 0;
}
