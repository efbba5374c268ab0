// Disk files as buffered stdio streams, named by Windows paths.
#ifndef GRAVELHORN_PLATFORM_DISK_FILE_H_
#define GRAVELHORN_PLATFORM_DISK_FILE_H_

#include <cstdint>
#include <cstdio>

// Opens windowsPath (backslashes, drive letters, a leading backslash for the
// root of the current drive) in untranslated byte mode, mode "rb" or "wb",
// without locking other readers or writers out. On Linux the path is mapped
// the way Wine maps it for the prefix (see wine_path.h). Returns nullptr
// when the file cannot be opened; anything but a regular file on a disk (a
// folder, a fifo, a device, a socket) is such a file, refused at once
// without waiting for a writer or reader at its other end.
FILE* OpenDiskStream(const char* windowsPath, const char* mode);

// 64-bit positioning, for archives and files past 2 GiB. SeekStream counts
// from the start of the file and returns false when the stream refuses.
bool SeekStream(FILE* stream, int64_t position);
int64_t TellStream(FILE* stream);

// The length of the file behind stream, or -1 when it cannot be measured.
// The stream's position is kept.
int64_t MeasureStreamLength(FILE* stream);

#endif  // GRAVELHORN_PLATFORM_DISK_FILE_H_
