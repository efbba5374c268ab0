// Windows paths on Linux, mapped the way Wine maps them for a prefix.
#ifndef GRAVELHORN_PLATFORM_WINE_PATH_H_
#define GRAVELHORN_PLATFORM_WINE_PATH_H_

#include <string>

// Maps windowsPath to the host path that Wine would open in prefix:
// - a backslash is a folder separator (so is a slash); empty components
//   from doubled separators are dropped, and names are collapsed as
//   Windows collapses them: "." and ".." are resolved (never above a
//   drive's root), a folder name loses one trailing dot, the last name
//   every trailing dot and blank;
// - a path that begins with two separators is a network (UNC) or device
//   path: never mapped, so never opened or written on this computer;
// - "X:\" stands for X's folder: prefix/dosdevices/x: (lower case), Wine's
//   drive link; in a prefix without dosdevices, which Wine recreates on its
//   next start, c: is prefix/drive_c and z: the host's root;
// - "X:name" (drive-relative) starts at the current folder when that lies
//   on X, else at X's root;
// - a path that begins with one separator starts at the root of the current
//   drive: the drive whose resolved folder holds the current folder (the
//   longest such folder); refused when no drive holds it;
// - a relative path starts at the current folder;
// - the path is narrow text in the ANSI code page; each component is looked
//   up as its host (UTF-8) name, and where that does not exist, matched
//   among the entries of its folder without regard to letter case, as
//   Windows and Wine compare names (accented letters too); a component that
//   matches nothing keeps the name as given (so a new file is created under
//   that name).
// Returns false when the path cannot be mapped at all (an empty path, a
// network path, a drive letter with no prefix, a name Windows refuses).
// *onDrive, when given, tells whether the host path lies on a drive of the
// prefix; only a relative path from a folder that no drive holds does not.
bool MapWindowsPath(const char* windowsPath, const std::string& prefix,
                    std::string* hostPath, bool* onDrive = nullptr);

// Why MapWindowsPath refuses windowsPath in prefix, in the player's words.
std::string WhyUnmapped(const char* windowsPath, const std::string& prefix);

#endif  // GRAVELHORN_PLATFORM_WINE_PATH_H_
