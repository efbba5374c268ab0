#include "filesystem/archive_table.h"

#include <cstring>

#include "installer/messages.h"
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
  ShowMessage(text, MessageText(MESSAGE_TITLE), MESSAGE_STYLE_ERROR);
  EndProcess(-1);
}

namespace {

// "REGISTER_FFF: what (path)", in the file system's box.
[[noreturn]] void ArchiveFatal(const char* what, const char* path) {
  char message[kFileNameSize + 64];
  (void)snprintf(message, sizeof message, "REGISTER_FFF: %s (%s)", what, path);
  FileSystemFatal(message);
}

}  // namespace

void MountArchive(const char* path) {
  if (path == nullptr || *path == '\0') return;
  char converted[kFileNameSize] = {};
  if (strlen(path) >= sizeof converted) return;  // no such file
  strcpy(converted, path);
  ToBackslashes(converted);

  FILE* stream = OpenDiskStream(converted, "rb");
  if (stream == nullptr) return;
  if (Archives.registeredCount >= kArchiveSlotCount) {
    (void)fclose(stream);
    ArchiveFatal("too many archives, cannot mount", converted);
  }

  ArchiveSlot& slot = Archives.slots[Archives.registeredCount];
  memcpy(slot.fileName, converted, sizeof slot.fileName);
  const DirectoryError error =
      ReadArchiveDirectory(stream, MeasureStreamLength(stream), &slot);
  if (error != DirectoryError::kNone) {
    (void)fclose(stream);
    if (error == DirectoryError::kNoMemory)
      FileSystemFatal(MessageText(MESSAGE_NO_MEMORY));
    ArchiveFatal(DirectoryErrorWords(error), converted);
  }
  slot.inUse = true;
  slot.stream = stream;
  ++Archives.registeredCount;
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
