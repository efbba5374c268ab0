#include "installer/copy_files.h"

#include <cstdio>
#include <cstring>

#include "filesystem/file_system.h"
#include "installer/messages.h"
#include "installer/settings.h"
#include "platform/file_replacement.h"
#include "platform/large_block.h"

void ComposeCopyFailure(char* text, size_t size, MessageId id, const char* name,
                        const char* ending) {
  (void)snprintf(text, size, "%s %s%s", MessageText(id), name, ending);
}

void FatalWithName(MessageId id, const char* name, const char* ending) {
  char errorText[kCopyFailureSize];
  ComposeCopyFailure(errorText, sizeof errorText, id, name, ending);
  FatalError(errorText);
}

bool WriteBufferToFile(const unsigned char* data, uint32_t size,
                       const char* name) {
  if (data == nullptr) FatalError(MessageText(MESSAGE_NO_MEMORY));
  // The file is replaced whole or not at all: a full disk or a killed run
  // never leaves the player's file cut short, so the patch can run again.
  // A name too long for the file system's 256-byte buffer is a file that
  // cannot be opened, as for every other open; it is never cut.
  // Where the temporary file beside it is what cannot be written (a link,
  // a file another program holds), the box names that file: the player
  // sees to it, not to the game file.
  bool temporaryInTheWay = false;
  if (strlen(name) >= kFileNameSize ||
      !ReplaceDiskFile(name, data, size, &temporaryInTheWay))
    FatalWithName(MESSAGE_CANNOT_WRITE, name,
                  temporaryInTheWay ? kReplacementEnding : "");
  return true;
}

bool CopyOneFile(const char* source, const char* destination) {
  // Never a disk file: on disk, \Gravelhorn_d3d.exe is at the root of the
  // current drive, where any user may have put it, and the installer runs
  // elevated.
  FileHandle* handle = OpenArchivedFileQuiet(source);
  if (handle == nullptr) FatalWithName(MESSAGE_FILE_NOT_FOUND, source);
  const int32_t size = handle->GetSize();
  // Copying refuses a damaged member whole: one that runs past the end of
  // its archive (or whose size reads as 2 GiB or more) is reported before a
  // block of the claimed size is allocated, and so is a read that delivers
  // fewer bytes than the member holds.
  if (size < 0 || ReadableSize(handle) < uint32_t(size)) {
    CloseFile(handle);
    FatalWithName(MESSAGE_CANNOT_UPDATE, source);
  }

  // A file of 0 bytes still gets a block.
  unsigned char* block =
      static_cast<unsigned char*>(AllocateLargeBlock(size_t(size)));
  if (block == nullptr) FatalError(MessageText(MESSAGE_NO_MEMORY));
  const size_t read = ReadFileBytes(handle, block, uint32_t(size));
  CloseFile(handle);
  if (read != size_t(size)) {
    ReleaseLargeBlock(block, size_t(size));
    FatalWithName(MESSAGE_CANNOT_UPDATE, source);
  }

  WriteBufferToFile(block, static_cast<uint32_t>(size), destination);
  ReleaseLargeBlock(block, size_t(size));
  return true;
}

void JoinDestination(char* destination, size_t size, const char* folder,
                     const char* name) {
  const int length = snprintf(destination, size, "%s%s", folder, name);
  if (length < 0 || size_t(length) >= size)
    FatalWithName(MESSAGE_CANNOT_WRITE, destination);
}

bool CopyFileSet(ExecutableSet& set) {
  for (const char* name : set) {
    char destination[kInstallPathSize];
    JoinDestination(destination, sizeof destination, InstallPath, name);
    CopyOneFile(name, destination);
  }
  return true;
}
