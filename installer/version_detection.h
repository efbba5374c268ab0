// Which version of the game is installed, and whether the patch applies.
#ifndef GRAVELHORN_INSTALLER_VERSION_DETECTION_H_
#define GRAVELHORN_INSTALLER_VERSION_DETECTION_H_

extern const char* const GameArchiveNames[3];
extern const char* const AcceptedBaseVersions[2];

// Mounts the game's archives from InstallPath, reads the version from
// "Cfg\Menu.cfg" and accepts it when it holds "v1.0" or "v1.1"; then stores
// the whole value in BaseVersion (cut to its 255 bytes). The archive table
// is empty again on return. A missing "Cfg\Menu.cfg" ends the run.
bool DetectBaseVersion();

#endif  // GRAVELHORN_INSTALLER_VERSION_DETECTION_H_
