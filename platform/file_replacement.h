// Replacing a file in the game's folder whole or not at all.
#ifndef GRAVELHORN_PLATFORM_FILE_REPLACEMENT_H_
#define GRAVELHORN_PLATFORM_FILE_REPLACEMENT_H_

#include <cstddef>

// The temporary file beside a destination is named after it, with this
// ending: a run killed midway leaves at most this one file, which the next
// run replaces.
extern const char kReplacementEnding[];

// Puts size bytes of data in place of the disk file windowsPath (a Windows
// path, mapped on Linux as disk_file.h says). The bytes go into
// windowsPath + kReplacementEnding, which is written whole, flushed to the
// disk and closed, and only then takes the destination's place in one
// step; until that step the destination is untouched. An existing
// destination keeps its name as found on disk, its attributes and its
// permissions.
// Returns false when any step fails, and also when the destination cannot
// be written (a missing folder, a folder or device in its place, a
// read-only or locked file): the temporary file is removed then, and the
// destination is exactly as it was.
bool ReplaceDiskFile(const char* windowsPath, const void* data, size_t size);

#endif  // GRAVELHORN_PLATFORM_FILE_REPLACEMENT_H_
