// The program-wide settings: written once by start-up (BaseVersion by
// version detection), read by the rest of the run. Zero-filled at start.
#ifndef GRAVELHORN_INSTALLER_SETTINGS_H_
#define GRAVELHORN_INSTALLER_SETTINGS_H_

#include <cstdint>

const int kInstallPathSize = 4096;
const int kLanguageValueSize = 16;
const int kBaseVersionSize = 256;

// The game's folder from the registry; ends in a backslash after start-up.
extern char InstallPath[kInstallPathSize];
// The registry's language code exactly as stored (15 characters at most).
extern char LanguageValue[kLanguageValueSize];
// The message language: a row of MessageCatalogue, 0 (English) at start.
extern int32_t LanguageIndex;
// The installed version's label, as version detection read it.
extern char BaseVersion[kBaseVersionSize];

#endif  // GRAVELHORN_INSTALLER_SETTINGS_H_
