#include "installer/version_detection.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <new>

#include "config/config_reader.h"
#include "filesystem/archive_table.h"
#include "filesystem/file_system.h"
#include "installer/messages.h"
#include "installer/settings.h"
#include "platform/disk_file.h"

// Mounted in this order, so that the patch archive that this installer
// writes wins a lookup over the game's original archives.
const char* const GameArchiveNames[3] = {"Patch12.cod", "Language.cod",
                                         "Game.cod"};
const char* const AcceptedBaseVersions[2] = {"v1.0", "v1.1"};
const char kPatchedVersion[] = "v1.2";

namespace {

const char kMenuName[] = "Cfg\\Menu.cfg";

// Whether the menu opens, and reading it ends nothing: a disk file of
// 2 GiB or more ends the run with a box when its size is taken.
bool MenuOpensQuietly() {
  FileHandle* menu = OpenFileQuiet(kMenuName, OPEN_FILE_READ);
  if (menu == nullptr) return false;
  const bool fits = dynamic_cast<DiskFile*>(menu) == nullptr ||
                    MeasureStreamLength(menu->stream) <= INT32_MAX;
  CloseFile(menu);
  return fits;
}

// The version in the menu that reader names (and may hold already): key
// "version" in section "Version", else key "Version" where that gives
// nothing; accepted when it holds a base version the patch upgrades.
VersionVerdict LookUpVersion(ConfigReader* reader, char* label,
                             size_t labelSize) {
  strcpy(reader->sectionName, "Version");
  strcpy(reader->keyName, "version");
  reader->ReadValue();
  if (reader->valueLength == 0) {
    strcpy(reader->keyName, "Version");
    reader->ReadValue();
  }

  // The whole value is searched; the label kept may be cut before a
  // version that lies beyond it.
  bool accepted = false;
  for (const char* version : AcceptedBaseVersions)
    accepted = accepted || (reader->valueLength != 0 &&
                            strstr(reader->value, version) != nullptr);
  const size_t length = strnlen(reader->value, labelSize - 1);
  memcpy(label, reader->value, length);
  label[length] = '\0';
  return accepted ? VersionVerdict::kAccepted : VersionVerdict::kRefused;
}

// The detection itself. Quiet, it shows nothing and ends nothing, and says
// what the run would do; otherwise the run's boxes end the run where it
// meets them.
VersionVerdict Detect(const char* installPath, bool quiet, char* label,
                      size_t labelSize, char* failure, size_t failureSize) {
  ResetArchives();
  for (const char* name : GameArchiveNames) {
    char archivePath[kInstallPathSize];
    // installPath ends in a backslash: the joined path holds two, which
    // Windows reads as one.
    const int length =
        snprintf(archivePath, sizeof archivePath, "%s\\%s", installPath, name);
    // A path that does not fit is never cut: a cut path names another file.
    if (length <= 0 || size_t(length) >= sizeof archivePath) continue;
    if (!quiet) {
      MountArchive(archivePath);
    } else if (TryMountArchive(archivePath, failure, failureSize) ==
               MountResult::kFailed) {
      ResetArchives();
      return VersionVerdict::kFailed;
    }
  }
  if (quiet && !MenuOpensQuietly()) {
    ResetArchives();
    return VersionVerdict::kNoMenu;
  }

  ConfigReader* reader = new (std::nothrow) ConfigReader;
  if (reader == nullptr) FatalError(MessageText(MESSAGE_NO_MEMORY));
  strcpy(reader->configName, kMenuName);
  const VersionVerdict verdict = LookUpVersion(reader, label, labelSize);
  delete reader;
  ResetArchives();
  return verdict;
}

}  // namespace

bool DetectBaseVersion() {
  char label[kBaseVersionSize];
  if (Detect(InstallPath, false, label, sizeof label, nullptr, 0) !=
      VersionVerdict::kAccepted)
    return false;
  memcpy(BaseVersion, label, sizeof BaseVersion);
  return true;
}

VersionVerdict JudgeBaseVersion(const char* installPath, char* label,
                                size_t labelSize, char* failure,
                                size_t failureSize) {
  if (labelSize > 0) label[0] = '\0';
  if (failureSize > 0) failure[0] = '\0';
  return Detect(installPath, true, label, labelSize, failure, failureSize);
}

VersionVerdict JudgeMenu(FileHandle* menu, char* label, size_t labelSize) {
  ConfigReader reader;
  strcpy(reader.configName, kMenuName);
  reader.Load(menu);
  return LookUpVersion(&reader, label, labelSize);
}
