// The rule for member names that every fff command applies. A member name
// is the name the installer looks up: text in the ANSI code page with '/'
// between folders, shorter than 128 bytes so that its zero fits the
// directory's field. It is also a path that extract writes inside its
// folder, so it has no drive, no ':', no empty, '.' or '..' part and no
// part ending in '.' or ' ' (which Windows drops, making ".. " a ".."). One
// leading '/' is allowed: patch archives name executables "/NAME.exe".
#ifndef GRAVELHORN_TOOLS_MEMBER_NAME_H_
#define GRAVELHORN_TOOLS_MEMBER_NAME_H_

#include <string>
#include <string_view>

// What breaks the rule in name (code-page bytes), or "" for a good name.
std::string MemberNameProblem(std::string_view name);

// What keeps Windows from creating a file under the member's path: control
// characters, one of <>"|?*, or a device name such as CON, NUL, COM1 or
// "nul.txt" as a part. "" when there is nothing. extract applies it on
// Windows only.
std::string WindowsFileNameProblem(std::string_view name);

#endif  // GRAVELHORN_TOOLS_MEMBER_NAME_H_
