// The rule for member names that every fff command applies. A member name
// is the name the installer looks up: text in the ANSI code page with '/'
// between folders, shorter than 128 bytes so that its zero fits the
// directory's field. It is also a path that extract writes inside its
// folder, so it has no drive, no ':', no empty, '.' or '..' part and no
// part ending in '.' or ' ' (which Windows drops, making ".. " a ".."). One
// leading '/' is allowed: patch archives name executables "/NAME.exe".
//
// Past the rule, what each system can create: the functions below take a
// name that follows it.
#ifndef GRAVELHORN_FFF_MEMBER_NAME_H_
#define GRAVELHORN_FFF_MEMBER_NAME_H_

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

// What breaks the rule in name (code-page bytes), or "" for a good name.
std::string MemberNameProblem(std::string_view name);

// What keeps Windows from creating a file under the member's path: control
// characters, one of <>"|?*, or a device name as a part (CON, NUL, COM1,
// COM and LPT with a superscript digit, CONIN$, CONOUT$, with any
// extension: "nul.txt"). "" when there is nothing.
std::string WindowsFileNameProblem(std::string_view name);

// What keeps Linux from creating it: a part longer than the 255 bytes one
// name may have, once converted to UTF-8 (a byte of the code page may take
// three). "" when there is nothing.
std::string LinuxFileNameProblem(std::string_view name);

// The member's path without its leading '/' as Windows compares file
// names: every letter of every script upper-cased, in UTF-8, so that
// paths Windows takes for one have one key ("É.txt" and "é.txt").
std::string WindowsNameKey(std::string_view name);

// Where two members cannot both be extracted, found from their paths'
// keys ('/' between parts; paths that compare equal have equal keys).
struct NameClash {
  size_t member;       // the index, in keys, of the member refused
  size_t other;        // the member it clashes with
  size_t folderParts;  // 0: both land on one file; otherwise the member
                       // needs its first folderParts parts as a folder,
                       // where the other member is a file
};
std::vector<NameClash> FindNameClashes(const std::vector<std::string>& keys);

// The first parts of path ('/' between them).
std::string LeadingParts(const std::string& path, size_t parts);

#endif  // GRAVELHORN_FFF_MEMBER_NAME_H_
