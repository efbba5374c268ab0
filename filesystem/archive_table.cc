#include "filesystem/archive_table.h"

#include <cstring>

#include "filesystem/run_end.h"
#include "platform/disk_file.h"
#include "platform/message_box.h"
#include "platform/process_end.h"

ArchiveTable Archives;

void ToBackslashes(char* text) {
  for (; *text != '\0'; ++text)
    if (*text == '/') *text = '\\';
}

void ToForwardSlashes(char* text) {
  for (; *text != '\0'; ++text)
    if (*text == '\\') *text = '/';
}

void FileSystemFatal(const char* text) {
  ShowMessage(text, RunTextOf(RunText::kTitle), MESSAGE_STYLE_ERROR);
  EndProcess(-1);
}

namespace {

// "REGISTER_FFF: what (path)", the text of the file system's box.
MountResult ArchiveFailure(const char* what, const char* path, char* failure,
                           size_t failureSize) {
  (void)snprintf(failure, failureSize, "REGISTER_FFF: %s (%s)", what, path);
  return MountResult::kFailed;
}

}  // namespace

MountResult TryMountArchive(const char* path, char* failure,
                            size_t failureSize) {
  if (path == nullptr || *path == '\0') return MountResult::kNotOpened;
  char converted[kFileNameSize] = {};
  if (strlen(path) >= sizeof converted) return MountResult::kNotOpened;
  strcpy(converted, path);
  ToBackslashes(converted);

  FILE* stream = OpenDiskStream(converted, "rb");
  if (stream == nullptr) return MountResult::kNotOpened;
  if (Archives.registeredCount >= kArchiveSlotCount) {
    (void)fclose(stream);
    return ArchiveFailure("too many archives, cannot mount", converted, failure,
                          failureSize);
  }

  ArchiveSlot& slot = Archives.slots[Archives.registeredCount];
  memcpy(slot.fileName, converted, sizeof slot.fileName);
  const DirectoryError error =
      ReadArchiveDirectory(stream, MeasureStreamLength(stream), &slot);
  if (error != DirectoryError::kNone) {
    (void)fclose(stream);
    if (error != DirectoryError::kNoMemory)
      return ArchiveFailure(DirectoryErrorWords(error), converted, failure,
                            failureSize);
    (void)snprintf(failure, failureSize, "%s", RunTextOf(RunText::kNoMemory));
    return MountResult::kFailed;
  }
  slot.inUse = true;
  slot.stream = stream;
  ++Archives.registeredCount;
  return MountResult::kMounted;
}

void MountArchive(const char* path) {
  char failure[kFileNameSize + 64];
  if (TryMountArchive(path, failure, sizeof failure) == MountResult::kFailed)
    FileSystemFatal(failure);
}

// Forgetting an archive also closes its stream, so that a reset never leaks
// the open file; slots past registeredCount are never in use.
void ResetArchives() { CloseAllArchives(); }

void CloseAllArchives() {
  for (int32_t i = 0; i < Archives.registeredCount; ++i) {
    ArchiveSlot& slot = Archives.slots[i];
    if (slot.stream != nullptr) (void)fclose(slot.stream);
    slot.stream = nullptr;
    slot.inUse = false;
    ReleaseArchiveDirectory(&slot);
  }
  Archives.registeredCount = 0;
}
