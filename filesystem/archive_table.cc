#include "filesystem/archive_table.h"

#include <cstring>
#include <new>

#include "installer/messages.h"
#include "platform/disk_file.h"
#include "platform/large_block.h"
#include "platform/message_box.h"
#include "platform/process_end.h"

ArchiveTable Archives;

ArchiveSlot::ArchiveSlot()
    : header(),
      entries(nullptr),
      hashes(nullptr),
      stream(nullptr),
      entryCount(0),
      fileName(),
      inUse(false) {}

namespace {

// Gives back a slot's directory; entryCount always counts the entries that
// its block was allocated for.
void ReleaseDirectory(ArchiveSlot& slot) {
  ReleaseLargeBlock(slot.entries,
                    size_t(slot.entryCount) * kDirectoryEntrySize);
  delete[] slot.hashes;
  slot.entries = nullptr;
  slot.hashes = nullptr;
  slot.entryCount = 0;
}

}  // namespace

ArchiveSlot::~ArchiveSlot() { ReleaseDirectory(*this); }

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

[[noreturn]] void ArchiveFatal(const char* format, const char* path) {
  char message[kFileNameSize + 64];
  snprintf(message, sizeof message, format, path);
  FileSystemFatal(message);
}

// Reads the directory of the archive open on stream into slot, checking
// every length against the file before anything is allocated.
void ReadDirectory(ArchiveSlot& slot, FILE* stream, const char* path) {
  if (fread(&slot.header, 1, kFffHeaderSize, stream) != kFffHeaderSize) {
    fclose(stream);
    ArchiveFatal("REGISTER_FFF: file header error! (%s)", path);
  }
  const uint32_t directorySize = ReadLittleEndian32(
      reinterpret_cast<const unsigned char*>(&slot.header.directorySize));
  const int64_t length = MeasureStreamLength(stream);
  if (length < 0 || uint64_t(length) - kFffHeaderSize < directorySize) {
    fclose(stream);
    ArchiveFatal("REGISTER_FFF: file entries error (%s)", path);
  }

  // Trailing bytes of a directory size that is not a multiple of 136 belong
  // to no entry and are not read.
  const uint32_t entryCount = directorySize / kDirectoryEntrySize;
  const size_t wanted = size_t(entryCount) * kDirectoryEntrySize;
  ReleaseDirectory(slot);
  slot.entries = static_cast<DirectoryEntry*>(AllocateLargeBlock(wanted));
  slot.hashes = new (std::nothrow) uint32_t[entryCount];
  slot.entryCount = static_cast<int32_t>(entryCount);
  if (slot.entries == nullptr || slot.hashes == nullptr) {
    ReleaseDirectory(slot);
    fclose(stream);
    FileSystemFatal(MessageText(MESSAGE_NO_MEMORY));
  }
  if (fread(slot.entries, 1, wanted, stream) != wanted) {
    ReleaseDirectory(slot);
    fclose(stream);
    ArchiveFatal("REGISTER_FFF: file entries error (%s)", path);
  }
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
    fclose(stream);
    ArchiveFatal("REGISTER_FFF: too many archives, cannot mount (%s)",
                 converted);
  }

  ArchiveSlot& slot = Archives.slots[Archives.registeredCount];
  memcpy(slot.fileName, converted, sizeof slot.fileName);
  ReadDirectory(slot, stream, converted);
  slot.inUse = true;
  slot.stream = stream;
  for (int32_t i = 0; i < slot.entryCount; ++i)
    slot.hashes[i] = NameHashBounded(slot.entries[i].name, kDirectoryNameSize);
  ++Archives.registeredCount;
}

// Forgetting an archive also closes its stream, so that a reset never leaks
// the open file; slots past registeredCount are never in use.
void ResetArchives() { CloseAllArchives(); }

void CloseAllArchives() {
  for (int32_t i = 0; i < Archives.registeredCount; ++i) {
    ArchiveSlot& slot = Archives.slots[i];
    if (slot.stream != nullptr) fclose(slot.stream);
    slot.stream = nullptr;
    slot.inUse = false;
    ReleaseDirectory(slot);
  }
  Archives.registeredCount = 0;
}
