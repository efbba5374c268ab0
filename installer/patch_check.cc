#include "installer/patch_check.h"

#include <cstdio>
#include <cstring>

#include "platform/file_replacement.h"

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
    // InstallPath holds at most the registry's 255 bytes and a backslash:
    // the join always fits, and a destination of 256 bytes or more is
    // refused below, as the copy refuses it.
    char destination[kInstallPathSize];
    (void)snprintf(destination, sizeof destination, "%s%s", installPath,
                   file.destination);
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
  return true;
}
