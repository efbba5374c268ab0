// The second half of the run: the version gate, the copies, the summary.
#ifndef GRAVELHORN_INSTALLER_PATCH_APPLICATION_H_
#define GRAVELHORN_INSTALLER_PATCH_APPLICATION_H_

#include "installer/patch_files.h"

extern const char* const UpgradedVersionNames[2];

const int kSummaryTextSize = 4096;
extern char SummaryText[kSummaryTextSize];

// Composes the summary of the German edition (fixed English text) or of
// the international edition (the catalogue's messages 5 to 8) into
// SummaryText.
void ComposeSummary(bool germanEdition);

// Gates on the installed version, mounts "Patch.dat" from the current
// folder, checks every file it will copy and replace (patch_check.h), copies
// the edition's executables and the language patch archive into
// InstallPath, shows the summary and closes all archives. Returns only
// after a successful run.
void ApplyPatch();

#endif  // GRAVELHORN_INSTALLER_PATCH_APPLICATION_H_
