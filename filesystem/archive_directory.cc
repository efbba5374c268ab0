// The FFF directory reader.
//
// An FFF archive is a 28-byte header, a directory right behind it, and the
// members' bytes anywhere after that; all integers are unsigned 32-bit
// little-endian:
//
//   offset  length          field
//   0       24              free bytes (no signature, no version)
//   24      4               directorySize, in bytes
//   28      directorySize   entries of 136 bytes, back to back: a name of
//                           128 bytes, the member's offset from the start
//                           of the file, and its size
//
// Only lengths can be wrong, and none is trusted: a file of fewer than 28
// bytes is a header error; a directorySize larger than what follows the
// header is an entries error, found before anything is allocated for it.
// Bytes of a directorySize that is not a multiple of 136 belong to no entry
// and are not read. A name may fill its 128 bytes without a zero. Member
// offsets and sizes are not checked here: a member's data is read only when
// it is opened, and fff check reports data past the end of the file.
#include "filesystem/archive_directory.h"

#include <cstring>
#include <new>

#include "filesystem/ascii_case.h"
#include "platform/io_request.h"
#include "platform/large_block.h"

const char* DirectoryErrorWords(DirectoryError error) {
  switch (error) {
    case DirectoryError::kHeader:
      return "file header error!";
    case DirectoryError::kEntries:
      return "file entries error";
    default:
      return "";
  }
}

ArchiveDirectory::~ArchiveDirectory() { ReleaseArchiveDirectory(this); }

void ReleaseArchiveDirectory(ArchiveDirectory* directory) {
  // entryCount always counts the entries that the block was allocated for.
  ReleaseLargeBlock(directory->entries,
                    size_t(directory->entryCount) * kDirectoryEntrySize);
  delete[] directory->hashes;
  directory->entries = nullptr;
  directory->hashes = nullptr;
  directory->entryCount = 0;
}

DirectoryError ReadArchiveDirectory(FILE* stream, int64_t fileLength,
                                    ArchiveDirectory* directory) {
  directory->fileLength = fileLength;
  if (fread(&directory->header, 1, kFffHeaderSize, stream) != kFffHeaderSize)
    return DirectoryError::kHeader;
  const uint32_t directorySize = DirectorySize(directory->header);
  if (fileLength < int64_t(kFffHeaderSize) ||
      uint64_t(fileLength) - kFffHeaderSize < directorySize)
    return DirectoryError::kEntries;

  // At most 31,580,641 entries, since directorySize is 32 bits: the count
  // fits entryCount, and the block's size fits size_t on 32-bit hosts too.
  const uint32_t count = directorySize / kDirectoryEntrySize;
  const size_t bytes = size_t(count) * kDirectoryEntrySize;
  directory->entries = static_cast<DirectoryEntry*>(AllocateLargeBlock(bytes));
  directory->hashes = new (std::nothrow) uint32_t[count];
  directory->entryCount = int32_t(count);
  if (directory->entries == nullptr || directory->hashes == nullptr) {
    ReleaseArchiveDirectory(directory);
    return DirectoryError::kNoMemory;
  }
  // In bounded requests: a directory may be many MiB.
  if (ReadInRequests(stream, directory->entries, bytes) != bytes) {
    ReleaseArchiveDirectory(directory);
    return DirectoryError::kEntries;
  }
  for (uint32_t i = 0; i < count; ++i)
    directory->hashes[i] =
        NameHashBounded(directory->entries[i].name, kDirectoryNameSize);
  return DirectoryError::kNone;
}

std::string_view EntryName(const DirectoryEntry& entry) {
  return std::string_view(entry.name, strnlen(entry.name, kDirectoryNameSize));
}

uint32_t EntryOffset(const DirectoryEntry& entry) {
  return ReadLittleEndian32(
      reinterpret_cast<const unsigned char*>(&entry.offset));
}

uint32_t EntrySize(const DirectoryEntry& entry) {
  return ReadLittleEndian32(
      reinterpret_cast<const unsigned char*>(&entry.size));
}

int32_t FindDirectoryEntry(const ArchiveDirectory& directory,
                           std::string_view name, uint32_t hash) {
  for (int32_t i = 0; i < directory.entryCount; ++i)
    if (directory.hashes[i] == hash &&
        EqualIgnoringAsciiCase(EntryName(directory.entries[i]), name))
      return i;
  return -1;
}
