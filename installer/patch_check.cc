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
  return true;
}
