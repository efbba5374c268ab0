// Copying files out of the packed file system into the installation. Every
// failure ends the run through FatalError; the functions return true when
// they return at all. Nothing copied before a failure is undone.
#ifndef GRAVELHORN_INSTALLER_COPY_FILES_H_
#define GRAVELHORN_INSTALLER_COPY_FILES_H_

#include <cstddef>
#include <cstdint>

#include "installer/messages.h"
#include "installer/patch_files.h"
#include "installer/settings.h"
#include "platform/file_replacement.h"

// Room for the text of a copy's box: the longest message and the longest
// name a caller builds (a destination in InstallPath's buffer, maybe with
// the temporary file's ending), so that the box names the whole file.
const size_t kCopyFailureSize =
    kMessageFieldSize + kInstallPathSize + sizeof kReplacementEnding;

// "<message id> <name><ending>", the text of the box a copy ends with, into
// text (size bytes).
void ComposeCopyFailure(char* text, size_t size, MessageId id, const char* name,
                        const char* ending = "");

// Ends the run with that text in FatalError's box.
[[noreturn]] void FatalWithName(MessageId id, const char* name,
                                const char* ending = "");

// Replaces the disk file name with size bytes of data, whole or not at all
// (see file_replacement.h). A file that cannot be written, and any failure
// on the way (a full disk among them), is reported with message 1 and the
// name (the temporary file's, where that is what cannot be written); the
// file is then as it was.
bool WriteBufferToFile(const unsigned char* data, uint32_t size,
                       const char* name);

// Copies source, a member of the registered archives (never a disk file),
// whole to the disk file destination. A missing source is reported with message
// 2, a source that delivers fewer bytes than its size with message 4, both with
// the source name; nothing is written then.
bool CopyOneFile(const char* source, const char* destination);

// Joins folder and name into destination (size bytes). A path that does not
// fit is never cut, since a cut path names another file: it is reported as
// a file that cannot be written (message 1).
void JoinDestination(char* destination, size_t size, const char* folder,
                     const char* name);

// Copies the three executables of set into InstallPath, in order.
bool CopyFileSet(ExecutableSet& set);

#endif  // GRAVELHORN_INSTALLER_COPY_FILES_H_
