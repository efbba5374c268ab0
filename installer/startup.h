// The installer's single run: settings from the registry, the language, the
// installation path, then patch application.
#ifndef GRAVELHORN_INSTALLER_STARTUP_H_
#define GRAVELHORN_INSTALLER_STARTUP_H_

#include <cstddef>

#include "platform/registry.h"

// The game's machine-wide registry key.
extern const char kGameRegistryKey[];

// Runs the whole installation once and returns the exit code: 0 after a run
// that reached its end. Every failure ends the process inside with -1.
int RunInstaller();

// Reads valueName of root\keyPath into destination (destinationSize bytes,
// zero-terminated). True when the key could be opened and the value, if
// present, fits; a missing value leaves destination unchanged. False when the
// key cannot be opened or the value does not fit: nothing is written then.
bool ReadRegistryValue(RegistryRoot root, const char* keyPath,
                       const char* valueName, char* destination,
                       size_t destinationSize);

// Makes path (a buffer of pathSize bytes) end in a backslash.
void NormaliseInstallPath(char* path, size_t pathSize);

#endif  // GRAVELHORN_INSTALLER_STARTUP_H_
