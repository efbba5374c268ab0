// Copying files out of the packed file system into the installation. Every
// failure ends the run through FatalError; the functions return true when
// they return at all. Nothing copied before a failure is undone.
#ifndef GRAVELHORN_INSTALLER_COPY_FILES_H_
#define GRAVELHORN_INSTALLER_COPY_FILES_H_

#include <cstddef>
#include <cstdint>

// Three executable names, d3d, glide, gl, each beginning with a backslash:
// looked up as they are, and appended to InstallPath as the destination.
typedef const char* const ExecutableSet[3];

// Creates (or empties) the disk file name and writes size bytes of data to
// it. A file that cannot be created, a short write or a failed close is
// reported with message 1 and the name.
bool WriteBufferToFile(const unsigned char* data, uint32_t size,
                       const char* name);

// Copies source (a disk file or an archive member) whole to the disk file
// destination. A missing source is reported with message 2, a source that
// delivers fewer bytes than its size with message 4, both with the source
// name; nothing is written then.
bool CopyOneFile(const char* source, const char* destination);

// Joins folder and name into destination (size bytes). A path that does not
// fit is never cut, since a cut path names another file: it is reported as
// a file that cannot be written (message 1).
void JoinDestination(char* destination, size_t size, const char* folder,
                     const char* name);

// Copies the three executables of set into InstallPath, in order.
bool CopyFileSet(ExecutableSet& set);

#endif  // GRAVELHORN_INSTALLER_COPY_FILES_H_
