#include "platform/disk_file.h"

#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <string>

#include "platform/wine/file_failures.h"
#include "platform/wine/wine_path.h"
#include "platform/wine/wine_prefix.h"

FILE* OpenDiskStream(const char* windowsPath, const char* mode) {
  std::string hostPath;
  if (!MapWindowsPath(windowsPath, WinePrefixDirectory(), &hostPath)) {
    NoteFileFailure(windowsPath, "",
                    WhyUnmapped(windowsPath, WinePrefixDirectory()));
    return nullptr;
  }
  // Only a regular file opens, as on Windows: Linux would open a folder
  // for reading, and a fifo would hold the open until a writer comes. The
  // look before the open spares a device the open; the open itself never
  // waits, and what it opened is looked at again.
  struct stat info;
  if (stat(hostPath.c_str(), &info) == 0 && !S_ISREG(info.st_mode)) {
    NoteFileFailure(
        windowsPath, hostPath,
        S_ISDIR(info.st_mode) ? "a folder, not a file" : "not a regular file");
    return nullptr;
  }
  const bool write = strchr(mode, 'w') != nullptr;
  const int flags =
      (write ? O_WRONLY | O_CREAT | O_TRUNC : O_RDONLY) | O_NONBLOCK | O_NOCTTY;
  const int fd = open(hostPath.c_str(), flags, 0666);
  if (fd < 0) {
    NoteFileFailure(windowsPath, hostPath, strerror(errno));
    return nullptr;
  }
  FILE* stream = nullptr;
  if (fstat(fd, &info) == 0 && S_ISREG(info.st_mode) &&
      fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK) == 0)
    stream = fdopen(fd, write ? "wb" : "rb");
  if (stream == nullptr) {
    NoteFileFailure(windowsPath, hostPath, "not a regular file");
    close(fd);
  }
  return stream;
}

bool SeekStream(FILE* stream, int64_t position) {
  return fseeko(stream, static_cast<off_t>(position), SEEK_SET) == 0;
}

int64_t TellStream(FILE* stream) { return ftello(stream); }

int64_t MeasureStreamLength(FILE* stream) {
  off_t position = ftello(stream);
  if (position < 0 || fseeko(stream, 0, SEEK_END) != 0) return -1;
  off_t length = ftello(stream);
  if (fseeko(stream, position, SEEK_SET) != 0) return -1;
  return length;
}
