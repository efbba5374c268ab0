#include "installer/patch_files.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

#include "filesystem/fff_format.h"

ExecutableSet GermanEditionExecutables = {
    "\\Kieselfuchs_d3d.exe", "\\Kieselfuchs_glide.exe", "\\Kieselfuchs_gl.exe"};
ExecutableSet StandardEditionExecutables = {
    "\\Gravelhorn_d3d.exe", "\\Gravelhorn_glide.exe", "\\Gravelhorn_gl.exe"};

const char kLanguagePatchFormat[] = "\\Patch_%s.cod";
const char kLanguagePatchDestination[] = "\\Patch12.cod";

bool GermanEditionApplies(const char* languageValue) {
  return strstr(languageValue, "ger") != nullptr;
}

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
  // A name of 256 bytes or more, which the copy finds nowhere, matches no
  // entry's name either: those are shorter than 129.
  std::string name = source;
  std::replace(name.begin(), name.end(), '\\', '/');
  found.entry = FindDirectoryEntry(directory, name, NameHash(name.c_str()));
  if (found.entry < 0) return found;
  const DirectoryEntry& entry = directory.entries[found.entry];
  const uint32_t size = EntrySize(entry);
  found.end = uint64_t(EntryOffset(entry)) + size;
  // As the copy reads it: a member of no bytes is read whole wherever it
  // points; an archive of unknown length (-1) holds no bytes of any other.
  if (size > uint32_t(INT32_MAX))
    found.state = MemberState::kTooLarge;
  else if (size > 0 && int64_t(found.end) > directory.fileLength)
    found.state = MemberState::kCutShort;
  else
    found.state = MemberState::kWhole;
  return found;
}

MemberFinding FindRegisteredMember(const char* source) {
  for (int32_t s = 0; s < Archives.registeredCount; ++s) {
    const MemberFinding found = FindPatchMember(Archives.slots[s], source);
    if (found.state != MemberState::kMissing) return found;
  }
  return MemberFinding();
}
