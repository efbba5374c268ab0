// On Linux the destination is replaced with rename, which ignores the
// destination's own permissions; a destination that Wine would show as
// read-only (no write bit at all) is refused first, as Windows refuses it.
#include "platform/file_replacement.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <string.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "platform/io_request.h"
#include "platform/wine/file_failures.h"
#include "platform/wine/wine_path.h"
#include "platform/wine/wine_prefix.h"

const char kReplacementEnding[] = ".tmp";

namespace {

// Where Wine keeps a file's DOS attributes (hidden, system), as text such
// as "0x2", and newer Wine more after it; a value is at most 64 KiB long.
const char kDosAttributes[] = "user.DOSATTRIB";
const size_t kLargestAttributeValue = 65536;

// The folders that renames have changed since the last flush.
std::vector<std::string> foldersToFlush;

bool WriteWhole(int fd, const unsigned char* data, size_t size) {
  while (size > 0) {
    const ssize_t written = write(fd, data, std::min(size, kLargestIoRequest));
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

std::string FolderOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == 0 || slash == std::string::npos ? "/" : path.substr(0, slash);
}

// Notes why the file at destination could not be replaced. A new file is
// made and renamed in its folder: where that folder cannot be written, the
// note names the folder, not the file.
void NoteReplacementFailure(const char* windowsPath,
                            const std::string& destination,
                            const std::string& reason) {
  const std::string folder = FolderOf(destination);
  if (access(folder.c_str(), W_OK | X_OK) != 0)
    NoteFileFailure(windowsPath, folder, strerror(errno), true);
  else
    NoteFileFailure(windowsPath, destination, reason);
}

// The system's reason for a write that failed with error; for a file past
// the process's limit on a file's size, the limit.
std::string WhyNotWritten(int error) {
  struct rlimit limit;
  if (error != EFBIG || getrlimit(RLIMIT_FSIZE, &limit) != 0 ||
      limit.rlim_cur == RLIM_INFINITY)
    return strerror(error);
  return "larger than the limit on a file's size (ulimit -f), " +
         std::to_string(limit.rlim_cur) + " bytes";
}

bool Exists(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0;
}

// Which file a new file is: the run moves only the file it wrote (or found
// whole) into place, never one that another program put under its name
// meanwhile.
struct FileIdentity {
  dev_t device = 0;
  ino_t inode = 0;
};

FileIdentity IdentityOf(const struct stat& info) {
  return {info.st_dev, info.st_ino};
}

// Whether the regular file path (never a link's target) holds exactly size
// bytes of data; if so it is flushed to the disk, as a new file must be
// before its rename, and *identity says which file it is.
bool HoldsOnDisk(const std::string& path, const unsigned char* data,
                 size_t size, FileIdentity* identity) {
  // O_NONBLOCK: a fifo put in its place meanwhile never holds the open.
  const int fd =
      open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  struct stat info;
  bool same = fd >= 0 && fstat(fd, &info) == 0 && S_ISREG(info.st_mode) &&
              uint64_t(info.st_size) == size;
  std::vector<unsigned char> buffer(same ? std::min(size, kLargestIoRequest)
                                         : 0);
  for (size_t compared = 0; same && compared < size;) {
    const ssize_t got =
        read(fd, buffer.data(), std::min(buffer.size(), size - compared));
    if (got < 0 && errno == EINTR) continue;
    same = got > 0 && memcmp(buffer.data(), data + compared, size_t(got)) == 0;
    compared += got > 0 ? size_t(got) : 0;
  }
  same = same && fsync(fd) == 0;
  if (same) *identity = IdentityOf(info);
  if (fd >= 0) close(fd);
  return same;
}

enum class Leftover { kNone, kNewFile, kInTheWay };

// Clears the temporary name of whatever is there, never following a link:
// a file of any kind or mode goes, an empty folder too. A folder with
// something in it stays in the way. A regular file there while the
// destination is missing holds the new file when its bytes are the new
// ones (the move of an earlier run failed): then it is the only copy, and
// stays to be moved. Any other file there is no copy of the destination,
// which has none.
Leftover ClearTemporaryName(const std::string& temporary,
                            bool destinationExists, const unsigned char* data,
                            size_t size, FileIdentity* newFile) {
  struct stat info;
  if (lstat(temporary.c_str(), &info) != 0)
    return errno == ENOENT ? Leftover::kNone : Leftover::kInTheWay;
  if (S_ISDIR(info.st_mode))
    return rmdir(temporary.c_str()) == 0 ? Leftover::kNone
                                         : Leftover::kInTheWay;
  if (S_ISREG(info.st_mode) && !destinationExists &&
      HoldsOnDisk(temporary, data, size, newFile))
    return Leftover::kNewFile;
  return unlink(temporary.c_str()) == 0 ? Leftover::kNone : Leftover::kInTheWay;
}

// Wine's DOS attributes of the destination (through a link, as Wine reads
// them) go to the new file. A value that cannot be read (none, a file
// system without them, one that changes while it is read) is no
// attributes; one that cannot be set fails the copy.
bool CopyDosAttributes(const std::string& destination, int fd) {
  const ssize_t size =
      getxattr(destination.c_str(), kDosAttributes, nullptr, 0);
  if (size <= 0 || size_t(size) > kLargestAttributeValue) return true;
  std::vector<char> value(static_cast<size_t>(size));
  const ssize_t length =
      getxattr(destination.c_str(), kDosAttributes, value.data(), value.size());
  if (length < 0) return true;
  return fsetxattr(fd, kDosAttributes, value.data(), size_t(length), 0) == 0;
}

// Writes the new file whole and durably under the cleared temporary name,
// with the destination's permissions, owner and DOS attributes where there
// is one, and says which file it is. A file not written whole is no copy of
// anything: it is removed.
bool WriteTemporary(const std::string& temporary, const unsigned char* data,
                    size_t size, const std::string& destination,
                    const struct stat* existing, FileIdentity* newFile) {
  const int fd =
      open(temporary.c_str(),
           O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
  if (fd < 0) return false;
  bool written = true;
  if (existing != nullptr) {
    fchmod(fd, existing->st_mode & 07777);
    if (fchown(fd, existing->st_uid, existing->st_gid) != 0) {
      // Only root may give a file away; anyone else owns the file replaced.
    }
    written = CopyDosAttributes(destination, fd);
  }
  struct stat info;
  bool whole = written && WriteWhole(fd, data, size) && fsync(fd) == 0 &&
               fstat(fd, &info) == 0;
  whole = close(fd) == 0 && whole;
  if (whole)
    *newFile = IdentityOf(info);
  else
    unlink(temporary.c_str());
  return whole;
}

// The last step, for the new file that is newFile. Another file under the
// temporary name (another program's, put there meanwhile) is neither moved
// nor removed: *why says so. A whole new file whose rename failed is
// removed only while the destination is there: otherwise it is the only
// copy, left for the next run to move.
bool PutInPlace(const std::string& temporary, const std::string& destination,
                const FileIdentity& newFile, std::string* why) {
  struct stat there;
  if (lstat(temporary.c_str(), &there) != 0 || there.st_dev != newFile.device ||
      there.st_ino != newFile.inode) {
    *why = "the new file " + temporary +
           " was replaced by another program before it could be put in place";
    return false;
  }
  if (rename(temporary.c_str(), destination.c_str()) == 0) {
    const std::string folder = FolderOf(destination);
    if (std::find(foldersToFlush.begin(), foldersToFlush.end(), folder) ==
        foldersToFlush.end())
      foldersToFlush.push_back(folder);
    return true;
  }
  const int renameError = errno;  // for the hint that names the file
  if (Exists(destination)) unlink(temporary.c_str());
  errno = renameError;
  return false;
}

// Where a replacement of windowsPath puts its file, and what is there now.
struct Target {
  std::string destination, temporary;
  struct stat existing = {};
  bool exists = false;
};

// What a replacement checks before it changes anything: the path maps to a
// host file on a drive of the prefix, and what is there, if anything, is a
// regular file that may be written. Notes what refuses.
bool CheckTarget(const char* windowsPath, Target* target) {
  const std::string prefix = WinePrefixDirectory();
  bool onDrive = false;
  // Only the prefix's drives are written: never a network path, nor a
  // folder that no drive of the prefix holds.
  if (!MapWindowsPath(windowsPath, prefix, &target->destination, &onDrive)) {
    NoteFileFailure(windowsPath, "", WhyUnmapped(windowsPath, prefix));
    return false;
  }
  if (!onDrive ||
      !MapWindowsPath((std::string(windowsPath) + kReplacementEnding).c_str(),
                      prefix, &target->temporary)) {
    NoteFileFailure(windowsPath, target->destination,
                    "the current folder lies on no drive of the prefix");
    return false;
  }
  const std::string& destination = target->destination;
  struct stat& existing = target->existing;
  target->exists = stat(destination.c_str(), &existing) == 0;
  if (target->exists && !Writable(destination, existing)) {
    if (!S_ISREG(existing.st_mode) || (existing.st_mode & 0222) == 0)
      NoteFileFailure(windowsPath, destination,
                      !S_ISREG(existing.st_mode)
                          ? "not a file"
                          : "read-only, which Windows never replaces");
    else
      NoteReplacementFailure(windowsPath, destination, strerror(errno));
    return false;
  }
  return true;
}

// Notes that what holds the temporary name stays in the way, under the
// name the box shows: the temporary file's.
void NoteTemporaryInTheWay(const char* windowsPath, const Target& target,
                           bool* temporaryInTheWay) {
  NoteReplacementFailure(
      (std::string(windowsPath) + kReplacementEnding).c_str(), target.temporary,
      "in the way, and it cannot be removed");
  if (temporaryInTheWay != nullptr) *temporaryInTheWay = true;
}

// Whether path is a folder with something in it (never a link's target).
bool FolderWithEntries(const std::string& path) {
  struct stat info;
  if (lstat(path.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) return false;
  DIR* folder = opendir(path.c_str());
  if (folder == nullptr) return true;
  bool entries = false;
  while (const dirent* entry = readdir(folder))
    entries = entries || (strcmp(entry->d_name, ".") != 0 &&
                          strcmp(entry->d_name, "..") != 0);
  closedir(folder);
  return entries;
}

}  // namespace

bool CanReplaceDiskFile(const char* windowsPath, bool* temporaryInTheWay) {
  Target target;
  if (!CheckTarget(windowsPath, &target)) return false;
  // The new file is made and renamed in the destination's folder.
  const std::string folder = FolderOf(target.destination);
  if (access(folder.c_str(), W_OK | X_OK) != 0) {
    NoteReplacementFailure(windowsPath, target.destination, strerror(errno));
    return false;
  }
  if (FolderWithEntries(target.temporary)) {
    NoteTemporaryInTheWay(windowsPath, target, temporaryInTheWay);
    return false;
  }
  return true;
}

bool ReplaceDiskFile(const char* windowsPath, const void* data, size_t size,
                     bool* temporaryInTheWay) {
  Target target;
  if (!CheckTarget(windowsPath, &target)) return false;
  const std::string& destination = target.destination;
  const std::string& temporary = target.temporary;
  const bool exists = target.exists;
  const struct stat& existing = target.existing;
  const auto* bytes = static_cast<const unsigned char*>(data);
  bool replaced = false;
  FileIdentity newFile;
  std::string why;
  switch (ClearTemporaryName(temporary, exists, bytes, size, &newFile)) {
    case Leftover::kInTheWay:
      NoteTemporaryInTheWay(windowsPath, target, temporaryInTheWay);
      return false;
    case Leftover::kNewFile:
      replaced = PutInPlace(temporary, destination, newFile, &why);
      break;
    case Leftover::kNone:
      replaced = WriteTemporary(temporary, bytes, size, destination,
                                exists ? &existing : nullptr, &newFile) &&
                 PutInPlace(temporary, destination, newFile, &why);
      break;
  }
  if (!replaced)
    NoteReplacementFailure(windowsPath, destination,
                           why.empty() ? WhyNotWritten(errno) : why);
  return replaced;
}

void FlushReplacedFolders() {
  // A folder that refuses to be flushed keeps its new files all the same.
  for (const std::string& folder : foldersToFlush) {
    const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) continue;
    fsync(fd);
    close(fd);
  }
  foldersToFlush.clear();
}
