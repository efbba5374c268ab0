// Which version of the game is installed, and whether the patch applies.
#ifndef GRAVELHORN_INSTALLER_VERSION_DETECTION_H_
#define GRAVELHORN_INSTALLER_VERSION_DETECTION_H_

#include <cstddef>

#include "filesystem/file_handle.h"

extern const char* const GameArchiveNames[3];
extern const char* const AcceptedBaseVersions[2];
// The version a patched game's menu holds: what its language archive says.
extern const char kPatchedVersion[];  // "v1.2"

// Mounts the game's archives from InstallPath, reads the version from
// "Cfg\Menu.cfg" and accepts it when it holds "v1.0" or "v1.1"; then stores
// the whole value in BaseVersion (cut to its 255 bytes). The archive table
// is empty again on return. A missing "Cfg\Menu.cfg" and a damaged archive
// end the run with their boxes.
bool DetectBaseVersion();

// The same detection, for the game whose folder is installPath (ending in
// a backslash), showing nothing and ending nothing: what the run would
// make of the installed version. The archive table is empty on return.
enum class VersionVerdict {
  kAccepted,  // the run patches the game
  kRefused,   // a version the patch does not upgrade (possibly none)
  kNoMenu,    // "Cfg\Menu.cfg" is nowhere: the run's "File not found:" box
  kFailed,    // the run ends with the box whose text is in failure
};
// label receives the version's value, cut to labelSize - 1 bytes.
VersionVerdict JudgeBaseVersion(const char* installPath, char* label,
                                size_t labelSize, char* failure,
                                size_t failureSize);

// What version detection makes of the menu open on menu, a handle that the
// function takes over and closes: kAccepted or kRefused, with the version's
// value in label as above. fff check --patch asks it of the menu in each
// language archive, which is what a patched game's Patch12.cod holds.
VersionVerdict JudgeMenu(FileHandle* menu, char* label, size_t labelSize);

#endif  // GRAVELHORN_INSTALLER_VERSION_DETECTION_H_
