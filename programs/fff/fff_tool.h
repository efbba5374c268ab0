// What the fff tool's commands share: their entry points, exit statuses,
// messages, and reading archives the way the installer reads them.
#ifndef GRAVELHORN_FFF_FFF_TOOL_H_
#define GRAVELHORN_FFF_FFF_TOOL_H_

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "filesystem/archive_directory.h"
#include "programs/fff/member_name.h"

const int kExitSuccess = 0;
const int kExitFailure = 1;  // a damaged archive or a failed operation
const int kExitUsage = 2;

// A command line past the command word: the archive, the folder given with
// -C (empty when there is none) and the operands after the archive, all
// host text.
struct CommandArguments {
  std::string archive;
  std::string folder;
  std::vector<std::string> operands;
  // check --patch, and the language codes it checks (host text).
  bool patch = false;
  std::vector<std::string> languages;
};

int RunCreate(const CommandArguments& arguments);
int RunList(const CommandArguments& arguments);
int RunExtract(const CommandArguments& arguments);
int RunCheck(const CommandArguments& arguments);

// Prints "fff: ARCHIVE: text" on standard error, ARCHIVE Printable.
void Complain(const std::string& archive, const std::string& text);

// Host text as messages and listings show it (ShownEscaped): control
// characters (C0, DEL and C1, what code-page bytes such as 0x81 and 0x9D
// become) and bytes that are not host text show as \xHH, so a damaged
// name can neither upset the terminal nor break a listing's line.
std::string Printable(std::string_view host);

// A stored name (code-page bytes) as the user reads it: host text,
// Printable.
std::string ShownName(std::string_view name);

// What keeps extract from writing a member of this name (one that follows
// the member-name rule) on Linux or on Windows, wherever fff runs; "" when
// nothing does.
std::string ExtractionNameProblem(std::string_view name);

// What clash means for the member of this name (code-page bytes); other
// points at the other member as messages do.
std::string DescribeClash(const NameClash& clash, std::string_view name,
                          const std::string& other);

// "entry 3 'NAME'", the way messages point at an entry.
std::string DescribeEntry(const ArchiveDirectory& directory, int32_t index);

// name with 'a'-'z' upper-cased: names that the installer takes for one
// have the same key.
std::string LookupKey(std::string_view name);

// Writes size bytes to the file toName (host text) in requests of at most
// kLargestIoRequest; returns "", or what went wrong and with which file.
std::string WriteBounded(FILE* to, const std::string& toName, const void* data,
                         size_t size);

// Copies count bytes from the file fromName to the file toName in bounded
// blocks; a read or write of fewer bytes than asked is a failure. Returns
// "", or what went wrong and with which file.
std::string CopyBlocks(FILE* from, const std::string& fromName, FILE* to,
                       const std::string& toName, uint64_t count);

// An archive open for reading, with its directory read as the installer
// reads it. The stream is closed with the object.
struct OpenedArchive {
  OpenedArchive() = default;
  ~OpenedArchive();
  OpenedArchive(const OpenedArchive&) = delete;
  OpenedArchive& operator=(const OpenedArchive&) = delete;

  FILE* stream = nullptr;
  ArchiveDirectory directory;
};

// Opens path and reads its directory. Complains and returns false when the
// file cannot be read or the installer refuses to mount it.
bool OpenArchive(const std::string& path, OpenedArchive* archive);

// Everything check reports about an archive the installer mounts, whose
// directory it read: what keeps the installer from finding a member, or
// extract on Linux or Windows from writing it (problems, returned), and
// members sharing the same bytes (notes, added to *notes). An archive with
// no problem extracts whole.
std::vector<std::string> FindArchiveProblems(const ArchiveDirectory& directory,
                                             std::vector<std::string>* notes);

// What check --patch finds: problems that keep the archive from patching a
// game for every code of codes (host text) as a whole Patch.dat, members
// that no run copies (warnings), and the version each language archive's
// menu reads (notes).
struct PatchReport {
  std::vector<std::string> problems, warnings, notes;
};
void FindPatchProblems(const OpenedArchive& archive,
                       const std::vector<std::string>& codes,
                       PatchReport* report);

// Whether entry index's data lies within the file.
bool DataWithinFile(const ArchiveDirectory& directory, int32_t index);

// For each entry, the entry that the installer finds under its name: the
// entry itself, or an earlier one of the same name but for ASCII case,
// which hides it.
std::vector<int32_t> FindEntriesFound(const ArchiveDirectory& directory);

// The entries that the operands select as the installer finds names: in
// any letter case, with '\' or '/', with or without a leading '/'.
// Complains about each operand that selects nothing and returns false.
bool SelectEntries(const CommandArguments& arguments,
                   const ArchiveDirectory& directory,
                   std::vector<int32_t>* selected);

#endif  // GRAVELHORN_FFF_FFF_TOOL_H_
