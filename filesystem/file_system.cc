#include "filesystem/file_system.h"

#include <cstring>
#include <new>

#include "filesystem/run_end.h"
#include "platform/disk_file.h"

void FileSystemTrace(const char*, ...) {}

namespace {

template <typename Handle, typename... Args>
FileHandle* NewHandle(Args... args) {
  FileHandle* handle = new (std::nothrow) Handle(args...);
  if (handle == nullptr) FileSystemFatal(RunTextOf(RunText::kNoMemory));
  return handle;
}

// The member named wanted (forward slashes) in the registered archives, the
// earliest mounted first; nullptr when there is none.
FileHandle* OpenArchivedMember(const char* wanted) {
  const uint32_t hash = NameHash(wanted);
  for (int32_t s = 0; s < Archives.registeredCount; ++s) {
    ArchiveSlot& slot = Archives.slots[s];
    if (!slot.inUse) continue;
    const int32_t found = FindDirectoryEntry(slot, wanted, hash);
    if (found < 0) continue;
    const uint32_t offset = EntryOffset(slot.entries[found]);
    SeekStream(slot.stream, offset);
    return NewHandle<ArchivedFile>(
        slot.stream, offset, EntrySize(slot.entries[found]), slot.fileLength);
  }
  return nullptr;
}

[[noreturn]] void ReportNotFound(const char* name) {
  FileSystemTrace("---\tFILE_SYSTEM ERROR:\tFile not found: %s!\n", name);
  char message[kFileNameSize * 2];
  (void)snprintf(message, sizeof message, "%s\t%s\n\n%s\n",
                 RunTextOf(RunText::kFileNotFound), name,
                 RunTextOf(RunText::kCannotUpdate));
  FileSystemFatal(message);
}

}  // namespace

FileHandle* FileSystemOpen(const char* name, int mode, bool report) {
  if (name == nullptr || *name == '\0') {
    if (!report) return nullptr;
    FileSystemTrace("---\tFILE_SYSTEM: NO FILENAME\n");
    FileSystemFatal("FILE_SYSTEM: NO FILENAME");
  }
  if ((mode & (OPEN_FILE_READ | OPEN_FILE_WRITE)) == 0) {
    if (!report) return nullptr;
    FileSystemTrace("---\tFILE_SYSTEM: WRONG OPEN_FILE FLAG (%s)\n", name);
    char message[kFileNameSize + 64];
    (void)snprintf(message, sizeof message,
                   "FILE_SYSTEM: WRONG OPEN_FILE FLAG (%s)", name);
    FileSystemFatal(message);
  }

  // A name too long for the buffer is never cut: a cut name could find
  // another file. It is a file that cannot be opened.
  char converted[kFileNameSize] = {};
  const bool fits = strlen(name) < sizeof converted;
  if (fits) {
    strcpy(converted, name);
    ToBackslashes(converted);
  }

  if (mode & OPEN_FILE_WRITE) {
    FILE* stream = fits ? OpenDiskStream(converted, "wb") : nullptr;
    if (stream != nullptr) return NewHandle<DiskFile>(stream, converted);
    if (report)
      FileSystemTrace("---\tFILE_SYSTEM: CANT OPEN FOR WRITE THIS: %s\n",
                      converted);
    return nullptr;
  }

  if (fits) {
    FILE* stream = OpenDiskStream(converted, "rb");
    if (stream != nullptr) return NewHandle<DiskFile>(stream, converted);
    ToForwardSlashes(converted);
    if (FileHandle* member = OpenArchivedMember(converted)) return member;
  }
  if (report) ReportNotFound(name);
  return nullptr;
}

FileHandle* OpenArchivedFileQuiet(const char* name) {
  if (name == nullptr || *name == '\0' || strlen(name) >= kFileNameSize)
    return nullptr;
  char converted[kFileNameSize] = {};
  strcpy(converted, name);
  ToForwardSlashes(converted);
  return OpenArchivedMember(converted);
}

FileHandle* OpenFile(const char* name, int mode) {
  return FileSystemOpen(name, mode, true);
}

FileHandle* OpenFileQuiet(const char* name, int mode) {
  return FileSystemOpen(name, mode, false);
}

void CloseFile(FileHandle* handle) {
  if (handle == nullptr) return;
  handle->Close();
  delete handle;
}
