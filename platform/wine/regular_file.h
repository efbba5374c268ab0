// Files that anyone may have put in the way: a prefix's registry, a
// launcher's list of folders, a Wine server's files. They are opened
// without waiting (a fifo would hold the open until a writer comes), taken
// only when they are regular files (a device such as /dev/zero never ends)
// and read no further than their size.
#ifndef GRAVELHORN_PLATFORM_WINE_REGULAR_FILE_H_
#define GRAVELHORN_PLATFORM_WINE_REGULAR_FILE_H_

#include <cstddef>
#include <string>

// The error of a file that is there but is neither a regular file nor a
// folder (a fifo, a device, a socket); a folder is EISDIR.
const int kNotARegularFile = -1;

// Opens the regular file at path for reading, following links, never
// waiting and never taking a terminal. Returns the descriptor (blocking
// again, closed on exec; the caller closes it) and its size in *size, or
// -1 with the system's error number, EISDIR or kNotARegularFile in *error.
int OpenRegularFile(const std::string& path, size_t* size, int* error);

// Reads the regular file at path whole into *bytes: at most its size when
// opened, and false with *error (as above, or EFBIG) when that is more
// than limit.
bool ReadRegularFile(const std::string& path, size_t limit, std::string* bytes,
                     int* error);

// The player's words for error: the system's, or "not a regular file".
std::string FileErrorText(int error);

#endif  // GRAVELHORN_PLATFORM_WINE_REGULAR_FILE_H_
