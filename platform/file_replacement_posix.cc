// On Linux the destination is replaced with rename, which ignores the
// destination's own permissions; a destination that Wine would show as
// read-only (no write bit at all) is refused first, as Windows refuses it.
#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <string.h>
#include <unistd.h>

#include <string>

#include "platform/file_replacement.h"
#include "platform/wine_hints.h"
#include "platform/wine_path.h"
#include "platform/wine_prefix.h"

const char kReplacementEnding[] = ".tmp";

namespace {

bool WriteWhole(int fd, const unsigned char* data, size_t size) {
  while (size > 0) {
    const size_t chunk = size < (size_t(1) << 30) ? size : size_t(1) << 30;
    const ssize_t written = write(fd, data, chunk);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    data += written;
    size -= size_t(written);
  }
  return true;
}

// A regular file that this process may write and that is not read-only.
bool Writable(const std::string& path, const struct stat& info) {
  return S_ISREG(info.st_mode) && (info.st_mode & 0222) != 0 &&
         access(path.c_str(), W_OK) == 0;
}

// Makes the rename itself survive a power cut; a folder that refuses to be
// synced leaves the new file in place all the same.
void SyncFolderOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  const std::string folder = slash == 0 ? "/" : path.substr(0, slash);
  const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  fsync(fd);
  close(fd);
}

// Writes the temporary file whole and durably, with the destination's
// permissions and owner where there is one.
bool WriteTemporary(const std::string& temporary, const void* data,
                    size_t size, const struct stat* existing) {
  unlink(temporary.c_str());  // left by a killed run
  const int fd = open(temporary.c_str(),
                      O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (fd < 0) return false;
  if (existing != nullptr) {
    fchmod(fd, existing->st_mode & 07777);
    if (fchown(fd, existing->st_uid, existing->st_gid) != 0) {
      // Only root may give a file away; anyone else owns the file replaced.
    }
  }
  bool written = WriteWhole(fd, static_cast<const unsigned char*>(data), size) &&
                 fsync(fd) == 0;
  written = close(fd) == 0 && written;
  return written;
}

}  // namespace

bool ReplaceDiskFile(const char* windowsPath, const void* data, size_t size) {
  const std::string prefix = WinePrefixDirectory();
  std::string destination, temporary;
  bool onDrive = false;
  // Only the prefix's drives are written: never a network path, nor a
  // folder that no drive of the prefix holds.
  if (!MapWindowsPath(windowsPath, prefix, &destination, &onDrive)) {
    NoteFileFailure(windowsPath, "", WhyUnmapped(windowsPath, prefix));
    return false;
  }
  if (!onDrive ||
      !MapWindowsPath((std::string(windowsPath) + kReplacementEnding).c_str(),
                      prefix, &temporary)) {
    NoteFileFailure(windowsPath, destination,
                    "the current folder lies on no drive of the prefix");
    return false;
  }
  struct stat existing;
  const bool exists = stat(destination.c_str(), &existing) == 0;
  if (exists && !Writable(destination, existing)) {
    NoteFileFailure(windowsPath, destination,
                    !S_ISREG(existing.st_mode)     ? "not a file"
                    : (existing.st_mode & 0222) == 0 ? "read-only, which Windows never replaces"
                                                     : strerror(errno));
    return false;
  }
  if (!WriteTemporary(temporary, data, size, exists ? &existing : nullptr) ||
      rename(temporary.c_str(), destination.c_str()) != 0) {
    NoteFileFailure(windowsPath, destination, strerror(errno));
    unlink(temporary.c_str());
    return false;
  }
  SyncFolderOf(destination);
  return true;
}
