// Opening files by name: for reading, a disk file of that path first, then
// the member of that name in the registered archives (or the member alone,
// OpenArchivedFileQuiet); for writing, a disk file. Failures are reported
// (OpenFile) or returned as no handle (the quiet forms).
#ifndef GRAVELHORN_FILESYSTEM_FILE_SYSTEM_H_
#define GRAVELHORN_FILESYSTEM_FILE_SYSTEM_H_

#include "filesystem/file_handle.h"

// Open-mode bits; OPEN_FILE_WRITE wins when both are set.
const int OPEN_FILE_READ = 1;
const int OPEN_FILE_WRITE = 2;

// Opens name with mode. Returns a new handle owned by the caller (close it
// with CloseFile), or nullptr. With report on, a missing file, an empty name
// or a mode with neither bit ends the run through FileSystemFatal; a file
// that cannot be created for writing returns nullptr either way. A name of
// 256 bytes or more is a file that does not exist.
FileHandle* FileSystemOpen(const char* name, int mode, bool report);
FileHandle* OpenFile(const char* name, int mode);
FileHandle* OpenFileQuiet(const char* name, int mode);

// Opens name for reading among the registered archives alone, never on
// disk: for the files the patch installs, which must come from Patch.dat
// even where a disk file of that name exists (the root of a drive any user
// may write to). Returns nullptr, showing nothing, when no archive holds it.
FileHandle* OpenArchivedFileQuiet(const char* name);

// Closes and destroys handle; does nothing for nullptr.
void CloseFile(FileHandle* handle);

// The file system's trace: lines beginning "---\t". Discarded unformatted.
void FileSystemTrace(const char* format, ...);

#endif  // GRAVELHORN_FILESYSTEM_FILE_SYSTEM_H_
