// Reading an FFF archive's directory, and finding a member in it: the one
// reader and the one lookup of the installer's archive table and of the fff
// tool. Nothing here shows a message or ends the process; each caller
// reports a failure in its own way.
#ifndef GRAVELHORN_FILESYSTEM_ARCHIVE_DIRECTORY_H_
#define GRAVELHORN_FILESYSTEM_ARCHIVE_DIRECTORY_H_

#include <cstdint>
#include <cstdio>
#include <string_view>

#include "filesystem/fff_format.h"

// Why an archive cannot be read; the installer refuses to mount it.
enum class DirectoryError {
  kNone,
  kHeader,    // fewer than 28 bytes could be read
  kEntries,   // the directory is longer than what follows the header, or
              // could not be read whole
  kNoMemory,  // no memory for the directory
};

// The words the installer's box uses for error ("file header error!",
// "file entries error"); fff repeats them so that the two can be matched.
// Empty for kNone and kNoMemory, which the installer reports in other words.
const char* DirectoryErrorWords(DirectoryError error);

// One archive's header and directory, as read. Owns entries and hashes.
struct ArchiveDirectory {
  ArchiveDirectory() = default;
  ~ArchiveDirectory();
  ArchiveDirectory(const ArchiveDirectory&) = delete;
  ArchiveDirectory& operator=(const ArchiveDirectory&) = delete;

  FffHeader header = {};
  DirectoryEntry* entries = nullptr;  // entryCount records, as read
  uint32_t* hashes = nullptr;         // NameHash of each entry's name
  int32_t entryCount = 0;
  int64_t fileLength = -1;  // the length the reader was given
};

// Reads the header and directory of the archive open on stream, which
// stands at its first byte, into directory, which holds no entries (a new
// one, or one released); the stream is left behind the last whole entry.
// fileLength is the file's length, or -1 when it is unknown (an entries error).
// On failure directory holds no entries.
DirectoryError ReadArchiveDirectory(FILE* stream, int64_t fileLength,
                                    ArchiveDirectory* directory);

// Gives back entries and hashes and leaves directory empty.
void ReleaseArchiveDirectory(ArchiveDirectory* directory);

inline uint32_t DirectorySize(const FffHeader& header) {
  return ReadLittleEndian32(
      reinterpret_cast<const unsigned char*>(&header.directorySize));
}

// Directory bytes behind the last whole entry; they belong to no entry.
inline uint32_t PartialEntryBytes(const ArchiveDirectory& directory) {
  return DirectorySize(directory.header) % kDirectoryEntrySize;
}

// An entry's name: up to its zero, or all 128 bytes when it has none.
std::string_view EntryName(const DirectoryEntry& entry);
uint32_t EntryOffset(const DirectoryEntry& entry);
uint32_t EntrySize(const DirectoryEntry& entry);

// The index of the entry the installer finds under name ('/' separators)
// whose NameHash is hash: the first entry whose hash matches and whose name
// equals name but for ASCII letter case. -1 when there is none.
int32_t FindDirectoryEntry(const ArchiveDirectory& directory,
                           std::string_view name, uint32_t hash);

#endif  // GRAVELHORN_FILESYSTEM_ARCHIVE_DIRECTORY_H_
