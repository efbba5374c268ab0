// Windows paths on Linux, mapped the way Wine maps them for a prefix.
#ifndef GRAVELHORN_PLATFORM_WINE_PATH_H_
#define GRAVELHORN_PLATFORM_WINE_PATH_H_

#include <string>

// Maps windowsPath to the host path that Wine would open in prefix:
// - a backslash is a folder separator (so is a slash); empty components
//   from doubled separators are dropped;
// - "X:" stands for prefix/dosdevices/x: (lower case), Wine's drive link;
// - a path that begins with one separator starts at the root of the current
//   drive: the dosdevices link whose resolved target holds the current folder
//   (the longest such target), or "/" when none does;
// - a relative path starts at the current folder;
// - the path is narrow text in the ANSI code page; each component is looked
//   up as its host (UTF-8) name, and where that does not exist, matched
//   among the entries of its folder without regard to letter case, as
//   Windows and Wine compare names (accented letters too); a component that
//   matches nothing keeps the name as given (so a new file is created under
//   that name).
// Returns false when the path cannot be mapped at all (an empty path, a
// drive letter with no prefix).
bool MapWindowsPath(const char* windowsPath, const std::string& prefix,
                    std::string* hostPath);

#endif  // GRAVELHORN_PLATFORM_WINE_PATH_H_
