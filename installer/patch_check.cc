#include "installer/patch_check.h"

#include <cstdio>
#include <cstring>

#include "filesystem/fff_format.h"
#include "installer/patch_application.h"
#include "platform/file_replacement.h"

void ListPatchFiles(const char* languageValue,
                    PatchFile files[kPatchFileCount]) {
  ExecutableSet& set = GermanEditionApplies(languageValue)
                           ? GermanEditionExecutables
                           : StandardEditionExecutables;
  for (int i = 0; i < 3; ++i) {
    (void)snprintf(files[i].source, sizeof files[i].source, "%s", set[i]);
    files[i].destination = set[i];
  }
  (void)snprintf(files[3].source, sizeof files[3].source, kLanguagePatchFormat,
                 languageValue);
  files[3].destination = kLanguagePatchDestination;
}

MemberFinding FindPatchMember(const ArchiveDirectory& directory,
                              const char* source) {
  MemberFinding found;
  found.archiveLength = directory.fileLength;
  // A name too long for the file system's buffer is found nowhere.
  char name[kFileNameSize];
  if (strlen(source) >= sizeof name) return found;
  strcpy(name, source);
  ToForwardSlashes(name);
  found.entry = FindDirectoryEntry(directory, name, NameHash(name));
  if (found.entry < 0) return found;
  const DirectoryEntry& entry = directory.entries[found.entry];
  const uint32_t size = EntrySize(entry);
  found.end = uint64_t(EntryOffset(entry)) + size;
  // As the copy reads it: a member of no bytes is read whole wherever it
  // points; an archive of unknown length holds no bytes of any other.
  if (size > uint32_t(INT32_MAX))
    found.state = MemberState::kTooLarge;
  else if (size > 0 && (directory.fileLength < 0 ||
                        found.end > uint64_t(directory.fileLength)))
    found.state = MemberState::kCutShort;
  else
    found.state = MemberState::kWhole;
  return found;
}

MemberFinding FindRegisteredMember(const char* source, int32_t* slot) {
  if (slot != nullptr) *slot = -1;
  for (int32_t s = 0; s < Archives.registeredCount; ++s) {
    if (!Archives.slots[s].inUse) continue;
    const MemberFinding found = FindPatchMember(Archives.slots[s], source);
    if (found.state == MemberState::kMissing) continue;
    if (slot != nullptr) *slot = s;
    return found;
  }
  return MemberFinding();
}

namespace {

bool Fail(PatchCheck* check, MessageId id, const char* name,
          const char* ending = "") {
  check->destinationFailed = id == MESSAGE_CANNOT_WRITE;
  ComposeCopyFailure(check->boxText, sizeof check->boxText, id, name, ending);
  return false;
}

}  // namespace

bool CheckPatchFiles(const char* installPath,
                     const PatchFile files[kPatchFileCount],
                     PatchCheck* check) {
  for (int i = 0; i < kPatchFileCount; ++i) {
    const PatchFile& file = files[i];
    check->file = i;
    check->member = MemberFinding();
    // The copy joins the destination first, and never cuts it.
    char destination[kInstallPathSize];
    const int length = snprintf(destination, sizeof destination, "%s%s",
                                installPath, file.destination);
    if (length < 0 || size_t(length) >= sizeof destination)
      return Fail(check, MESSAGE_CANNOT_WRITE, destination);
    check->member = FindRegisteredMember(file.source);
    switch (check->member.state) {
      case MemberState::kMissing:
        return Fail(check, MESSAGE_FILE_NOT_FOUND, file.source);
      case MemberState::kCutShort:
      case MemberState::kTooLarge:
        return Fail(check, MESSAGE_CANNOT_UPDATE, file.source);
      case MemberState::kWhole:
        break;
    }
    bool temporaryInTheWay = false;
    if (strlen(destination) >= kFileNameSize ||
        !CanReplaceDiskFile(destination, &temporaryInTheWay))
      return Fail(check, MESSAGE_CANNOT_WRITE, destination,
                  temporaryInTheWay ? kReplacementEnding : "");
  }
  check->file = -1;
  return true;
}
