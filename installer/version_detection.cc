#include "installer/version_detection.h"

#include <cstdio>
#include <cstring>
#include <new>

#include "config/config_reader.h"
#include "filesystem/archive_table.h"
#include "installer/messages.h"
#include "installer/settings.h"

// Mounted in this order, so that the patch archive that this installer
// writes wins a lookup over the game's original archives.
const char* const GameArchiveNames[3] = {"Patch12.cod", "Language.cod",
                                         "Game.cod"};
const char* const AcceptedBaseVersions[2] = {"v1.0", "v1.1"};

bool DetectBaseVersion() {
  for (const char* name : GameArchiveNames) {
    char archivePath[kInstallPathSize];
    // InstallPath ends in a backslash: the joined path holds two, which
    // Windows reads as one.
    const int length =
        snprintf(archivePath, sizeof archivePath, "%s\\%s", InstallPath, name);
    // A path that does not fit is never cut: a cut path names another file.
    if (length > 0 && size_t(length) < sizeof archivePath)
      MountArchive(archivePath);
  }

  ConfigReader* reader = new (std::nothrow) ConfigReader;
  if (reader == nullptr) FatalError(MessageText(MESSAGE_NO_MEMORY));
  strcpy(reader->configName, "Cfg\\Menu.cfg");
  strcpy(reader->sectionName, "Version");
  strcpy(reader->keyName, "version");
  reader->ReadValue();
  if (reader->valueLength == 0) {
    strcpy(reader->keyName, "Version");
    reader->ReadValue();
  }

  bool accepted = false;
  if (reader->valueLength != 0) {
    for (const char* label : AcceptedBaseVersions) {
      if (strstr(reader->value, label) != nullptr) {
        accepted = true;
        // Cut to what BaseVersion holds; the label itself may lie beyond.
        const size_t length = strnlen(reader->value, sizeof BaseVersion - 1);
        memcpy(BaseVersion, reader->value, length);
        BaseVersion[length] = '\0';
      }
    }
  }

  delete reader;
  ResetArchives();
  return accepted;
}
