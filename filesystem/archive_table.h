// The table of mounted FFF archives (each directory read by
// archive_directory.h), the path-separator conversions, and the file
// system's fatal error.
#ifndef GRAVELHORN_FILESYSTEM_ARCHIVE_TABLE_H_
#define GRAVELHORN_FILESYSTEM_ARCHIVE_TABLE_H_

#include <cstdint>
#include <cstdio>

#include "filesystem/archive_directory.h"

const int kArchiveSlotCount = 10;
// Paths and names of this many bytes or more are taken as files that do
// not exist; they are never cut, since a cut name could find another file.
const size_t kFileNameSize = 256;

// One registered archive: its directory (released with the slot; the
// stream is left alone), its stream and the path it was mounted from.
struct ArchiveSlot : ArchiveDirectory {
  FILE* stream = nullptr;             // open for reading while registered
  char fileName[kFileNameSize] = {};  // the path as mounted, with backslashes
  bool inUse = false;
};

// Up to ten archives; slots 0 to registeredCount - 1 are registered, in the
// order they were mounted, and an earlier one wins a lookup.
struct ArchiveTable {
  ArchiveSlot slots[kArchiveSlotCount];
  int32_t registeredCount = 0;
};

// The one table of the process, constructed before the entry runs.
extern ArchiveTable Archives;

// Registers the archive at path. A missing or unreadable file registers
// nothing and says nothing. A damaged archive (short header, directory
// larger than the file) and an eleventh archive end the run through
// FileSystemFatal.
void MountArchive(const char* path);

// MountArchive without a box: the archive is mounted, could not be opened
// (nothing registered, as MountArchive says nothing), or failed, with the
// text of MountArchive's box in failure. Ends nothing.
enum class MountResult { kMounted, kNotOpened, kFailed };
MountResult TryMountArchive(const char* path, char* failure,
                            size_t failureSize);

// Forgets all registered archives, closes their streams and releases their
// directories.
void ResetArchives();

// Closes the streams of all registered archives, releases their directories
// and forgets them.
void CloseAllArchives();

void ToBackslashes(char* text);
void ToForwardSlashes(char* text);

// Shows text in an error box captioned with message 9 and ends the process
// with exit code -1, without closing the archives. Never returns.
[[noreturn]] void FileSystemFatal(const char* text);

#endif  // GRAVELHORN_FILESYSTEM_ARCHIVE_TABLE_H_
