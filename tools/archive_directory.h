// Reading an FFF archive's directory without trusting any of its fields.
#ifndef GRAVELHORN_TOOLS_ARCHIVE_DIRECTORY_H_
#define GRAVELHORN_TOOLS_ARCHIVE_DIRECTORY_H_

#include <cstdint>
#include <string>
#include <vector>

struct ArchiveEntry {
  uint64_t number;   // 1-based position in the directory, for messages
  std::string name;  // up to the zero, or all 128 bytes when there is none
  bool nameTerminated;
  uint32_t offset;
  uint32_t size;
};

struct ArchiveDirectory {
  uint64_t fileLength = 0;
  // Only the entries lying wholly within the file are read.
  std::vector<ArchiveEntry> entries;
  // Damage to the header or the directory as a whole.
  std::vector<std::string> layoutProblems;
};

// Reads path's header and directory. Returns false with *error set when the
// file cannot be read at all; damage goes into layoutProblems instead.
bool ReadArchiveDirectory(const std::string& path, ArchiveDirectory* directory,
                          std::string* error);

// For list and extract, which refuse a damaged header or directory outright:
// reads it, and complains about each problem naming the archive.
bool ReadSoundDirectory(const std::string& path, ArchiveDirectory* directory);

// The problems of single entries: bad names, data past the end of the file,
// and names that an earlier entry hides from the installer.
std::vector<std::string> FindEntryProblems(const ArchiveDirectory& directory);

// "entry 3 'NAME'", the way messages point at an entry.
std::string DescribeEntry(const ArchiveEntry& entry);

bool DataWithinFile(const ArchiveEntry& entry, uint64_t fileLength);

// The entry the installer finds under name (hash, then name regardless of
// case, first match wins), or nullptr.
const ArchiveEntry* FindMember(const ArchiveDirectory& directory,
                               const std::string& name);

#endif  // GRAVELHORN_TOOLS_ARCHIVE_DIRECTORY_H_
