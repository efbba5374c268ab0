#include <cstdio>
#include <istream>
#include <ostream>

#include "tools/fff_tool.h"

void Complain(const std::string& archive, const std::string& text) {
  std::fprintf(stderr, "fff: %s: %s\n", archive.c_str(), text.c_str());
}

std::string Printable(const std::string& name) {
  static const char kHexDigits[] = "0123456789ABCDEF";
  std::string shown;
  for (unsigned char c : name) {
    if (c < 0x20 || c == 0x7F) {
      shown += "\\x";
      shown += kHexDigits[c >> 4];
      shown += kHexDigits[c & 0xF];
    } else {
      shown += static_cast<char>(c);
    }
  }
  return shown;
}

std::string QuoteMember(const std::string& name) {
  return "member '" + Printable(name) + "'";
}

std::string LookupKey(const std::string& name) {
  std::string key = name;
  for (char& c : key)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return key;
}

std::string CopyBlocks(std::istream& from, std::ostream& to, uint64_t count) {
  // Members can be hundreds of MiB; never hold more than one block.
  static char block[64 * 1024];
  while (count > 0) {
    const size_t wanted = count < sizeof block ? size_t(count) : sizeof block;
    from.read(block, static_cast<std::streamsize>(wanted));
    if (static_cast<size_t>(from.gcount()) != wanted)
      return from.eof() ? "the input ended early" : "reading failed";
    if (!to.write(block, static_cast<std::streamsize>(wanted)))
      return "writing failed";
    count -= wanted;
  }
  return std::string();
}
