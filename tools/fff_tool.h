// What the fff tool's commands share: their entry points, exit statuses and
// small helpers for messages, names and copying.
#ifndef GRAVELHORN_TOOLS_FFF_TOOL_H_
#define GRAVELHORN_TOOLS_FFF_TOOL_H_

#include <cstdint>
#include <iosfwd>
#include <string>
#include <vector>

const int kExitSuccess = 0;
const int kExitFailure = 1;  // a damaged archive or a failed operation
const int kExitUsage = 2;

// A command line past the command word: the archive, the folder given with
// -C (empty when there is none) and the operands after the archive.
struct CommandArguments {
  std::string archive;
  std::string folder;
  std::vector<std::string> operands;
};

int RunCreate(const CommandArguments& arguments);
int RunList(const CommandArguments& arguments);
int RunExtract(const CommandArguments& arguments);
int RunCheck(const CommandArguments& arguments);

// Prints "fff: ARCHIVE: text" on standard error.
void Complain(const std::string& archive, const std::string& text);

// A name as shown in messages and listings: control bytes become \xHH, so a
// damaged name can neither upset the terminal nor break a tab-separated line.
std::string Printable(const std::string& name);

// "member 'NAME'", the way messages point at a member.
std::string QuoteMember(const std::string& name);

// The installer compares names with 'a'-'z' upper-cased and nothing else.
std::string LookupKey(const std::string& name);

// Copies count bytes in bounded blocks. Returns an empty string, or what went
// wrong: the input failed or ended early, or the output failed.
std::string CopyBlocks(std::istream& from, std::ostream& to, uint64_t count);

#endif  // GRAVELHORN_TOOLS_FFF_TOOL_H_
