#include <cerrno>
#include <cstring>

#include "filesystem/ascii_case.h"
#include "platform/code_page.h"
#include "tools/fff_tool.h"

void Complain(const std::string& archive, const std::string& text) {
  std::fprintf(stderr, "fff: %s: %s\n", archive.c_str(), text.c_str());
}

std::string Printable(std::string_view host) {
  static const char kHexDigits[] = "0123456789ABCDEF";
  std::string shown;
  for (unsigned char c : host) {
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

std::string ShownName(std::string_view name) {
  return Printable(NarrowToHost(name));
}

std::string LookupKey(std::string_view name) {
  std::string key;
  for (unsigned char c : name) key += static_cast<char>(UpperCaseAscii(c));
  return key;
}

std::string CopyBlocks(FILE* from, FILE* to, uint64_t count) {
  // Members can be hundreds of MiB; never hold more than one block.
  static char block[64 * 1024];
  while (count > 0) {
    const size_t wanted = count < sizeof block ? size_t(count) : sizeof block;
    if (std::fread(block, 1, wanted, from) != wanted)
      return std::ferror(from) ? "reading failed" : "the input ended early";
    if (std::fwrite(block, 1, wanted, to) != wanted)
      return std::string("writing failed: ") + std::strerror(errno);
    count -= wanted;
  }
  return std::string();
}
