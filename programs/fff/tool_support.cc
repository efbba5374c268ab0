#include <cerrno>
#include <cstring>

#include "filesystem/ascii_case.h"
#include "platform/code_page.h"
#include "platform/io_request.h"
#include "platform/shown_text.h"
#include "programs/fff/fff_tool.h"
#include "programs/fff/text_output.h"

void Complain(const std::string& archive, const std::string& text) {
  WriteText(stderr, "fff: " + Printable(archive) + ": " + text + "\n");
}

std::string Printable(std::string_view host) { return ShownEscaped(host); }

std::string ShownName(std::string_view name) {
  return Printable(NarrowToHost(name));
}

std::string ExtractionNameProblem(std::string_view name) {
  std::string problem = LinuxFileNameProblem(name);
  if (!problem.empty()) return "extract on Linux cannot create it: " + problem;
  problem = WindowsFileNameProblem(name);
  if (!problem.empty())
    return "extract on Windows cannot create it: " + problem;
  return problem;
}

std::string DescribeClash(const NameClash& clash, std::string_view name,
                          const std::string& other) {
  if (clash.folderParts == 0)
    return "Windows takes it for the same file as " + other +
           ", so extract there could write only one";
  if (!name.empty() && name[0] == '/') name.remove_prefix(1);
  return "it needs '" +
         ShownName(LeadingParts(std::string(name), clash.folderParts)) +
         "' as a folder, but " + other +
         " is a file of that name (as Windows compares names)";
}

std::string LookupKey(std::string_view name) {
  std::string key;
  for (unsigned char c : name) key += static_cast<char>(UpperCaseAscii(c));
  return key;
}

std::string WriteBounded(FILE* to, const std::string& toName, const void* data,
                         size_t size) {
  const char* bytes = static_cast<const char*>(data);
  while (size > 0) {
    const size_t wanted = size < kLargestIoRequest ? size : kLargestIoRequest;
    if (std::fwrite(bytes, 1, wanted, to) != wanted)
      return "writing '" + Printable(toName) +
             "' failed: " + std::strerror(errno);
    bytes += wanted;
    size -= wanted;
  }
  return std::string();
}

std::string CopyBlocks(FILE* from, const std::string& fromName, FILE* to,
                       const std::string& toName, uint64_t count) {
  // Members can be hundreds of MiB; never hold more than one block.
  static char block[64 * 1024];
  static_assert(sizeof block <= kLargestIoRequest, "one request a block");
  while (count > 0) {
    const size_t wanted = count < sizeof block ? size_t(count) : sizeof block;
    if (std::fread(block, 1, wanted, from) != wanted)
      return std::ferror(from) ? "reading '" + Printable(fromName) +
                                     "' failed: " + std::strerror(errno)
                               : "'" + Printable(fromName) +
                                     "' ended before all its bytes were read";
    std::string error = WriteBounded(to, toName, block, wanted);
    if (!error.empty()) return error;
    count -= wanted;
  }
  return std::string();
}
