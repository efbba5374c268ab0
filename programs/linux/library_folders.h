// Steam's list of its game libraries, steamapps/libraryfolders.vdf: lines
// such as
//   "path"    "/mnt/games/SteamLibrary"
// in a file of nested quoted keys; older files number them instead:
//   "1"       "/mnt/games/SteamLibrary"
#ifndef GRAVELHORN_PROGRAMS_LINUX_LIBRARY_FOLDERS_H_
#define GRAVELHORN_PROGRAMS_LINUX_LIBRARY_FOLDERS_H_

#include <string>
#include <string_view>
#include <vector>

// The libraries the file's text names, in its order: each an absolute path
// (it begins with '/'), without a quote, a line end or a zero byte.
// Anything else in the text is passed over.
std::vector<std::string> LibraryFoldersIn(std::string_view text);

// The libraries that steam/steamapps/libraryfolders.vdf names; none when it
// is missing, not a regular file or larger than any Steam writes. Never
// waits (platform/wine/regular_file.h).
std::vector<std::string> ReadLibraryFolders(const std::string& steam);

// The game's name in Steam's appmanifest_APPID.acf at path (a line
// "name" "Gravelhorn" of the file's nested quoted keys); "" when there is
// none, or the file is missing, not a regular file or larger than any
// Steam writes. Never waits.
std::string ReadAppManifestName(const std::string& path);

#endif  // GRAVELHORN_PROGRAMS_LINUX_LIBRARY_FOLDERS_H_
