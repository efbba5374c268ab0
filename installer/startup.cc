#include "installer/startup.h"

#include <cstring>

#include "filesystem/archive_table.h"
#include "installer/copy_files.h"
#include "installer/messages.h"
#include "installer/patch_application.h"
#include "installer/patch_files.h"
#include "installer/settings.h"
#include "platform/message_box.h"
#include "platform/run_lock.h"

const char kGameRegistryKey[] = "Software\\Quillfern\\GHR";

bool ReadRegistryValue(RegistryRoot root, const char* keyPath,
                       const char* valueName, char* destination,
                       size_t destinationSize) {
  RegistryValue value;
  switch (QueryRegistryValue(root, keyPath, valueName, &value)) {
    case REGISTRY_KEY_MISSING:
    case REGISTRY_VALUE_TOO_LONG:
      return false;
    case REGISTRY_VALUE_MISSING:
      return true;
    case REGISTRY_VALUE_READ:
      break;
  }
  // A string arrives with its zero; one stored without it ends at its data.
  const void* zero = memchr(value.data, '\0', value.size);
  size_t length =
      zero != nullptr
          ? static_cast<size_t>(static_cast<const unsigned char*>(zero) -
                                value.data)
          : value.size;
  if (length >= destinationSize) return false;
  memcpy(destination, value.data, length);
  destination[length] = '\0';
  return true;
}

void NormaliseInstallPath(char* path, size_t pathSize) {
  size_t length = strnlen(path, pathSize);
  if (length > 0 && path[length - 1] == '\\') return;
  if (length + 1 >= pathSize) return;  // cannot happen: the read is 256 bytes
  path[length] = '\\';
  path[length + 1] = '\0';
}

int RunInstaller() {
  ResetArchives();
  if (!ReadRegistryValue(REGISTRY_LOCAL_MACHINE, kGameRegistryKey,
                         "Installpath", InstallPath, sizeof InstallPath))
    FatalError("Gravelhorn not found or the registry not correct!");
  if (!ReadRegistryValue(REGISTRY_LOCAL_MACHINE, kGameRegistryKey, "Language",
                         LanguageValue, sizeof LanguageValue))
    FatalError("The registry not correct!");
  LanguageIndex = SelectLanguage(LanguageValue);
  NormaliseInstallPath(InstallPath, sizeof InstallPath);
  // Another run that holds the game for longer than a run takes is one
  // that hangs: the box for the first file this run would replace.
  PatchFile files[kPatchFileCount];
  ListPatchFiles(LanguageValue, files);
  char first[kInstallPathSize];
  JoinDestination(first, sizeof first, InstallPath, files[0].destination);
  if (!HoldGameForThisRun(InstallPath, first))
    FatalWithName(MESSAGE_CANNOT_WRITE, first);
  ApplyPatch();
  return 0;
}
