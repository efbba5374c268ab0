// The fff tool's disk operations on Linux and other POSIX systems.
#include "programs/fff/host_files.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <string.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "programs/fff/fff_tool.h"
#include "programs/fff/member_name.h"
#include "programs/fff/posix/host_calls.h"

namespace {

bool Failed(std::string* error) {
  *error = strerror(errno);
  return false;
}

// Why a file of this kind cannot be read as a file.
const char* NotAFile(mode_t mode) {
  if (S_ISDIR(mode)) return "it is a folder, not a file";
  if (S_ISFIFO(mode)) return "it is a pipe, not a file";
  if (S_ISSOCK(mode)) return "it is a socket, not a file";
  if (S_ISCHR(mode) || S_ISBLK(mode)) return "it is a device, not a file";
  if (S_ISLNK(mode)) return "it is a link, not a file";
  return "it is not a regular file";
}

FILE* StreamOn(int fd, const char* mode, std::string* error) {
  FILE* stream = fd < 0 ? nullptr : fdopen(fd, mode);
  if (stream == nullptr) {
    Failed(error);
    if (fd >= 0) close(fd);
  }
  return stream;
}

int FolderOf(const HostFolder& folder) { return int(folder.handle); }

}  // namespace

bool IsAbsoluteHostPath(const std::string& path) {
  return !path.empty() && path[0] == '/';
}

const char kHostFolderSeparators[] = "/";

std::string HostFileNameProblem(std::string_view name) {
  return LinuxFileNameProblem(name);
}

// Names as Linux compares them, bytes, and in ASCII letter case, as the
// installer and Wine find names.
std::string HostNameKey(const std::string& relative) {
  return LookupKey(relative);
}

HostEntry InspectHostEntry(const std::string& path) {
  struct stat info;
  if (lstat(path.c_str(), &info) != 0) return HostEntry::kMissing;
  if (S_ISLNK(info.st_mode)) return HostEntry::kLink;
  if (S_ISDIR(info.st_mode)) return HostEntry::kFolder;
  return S_ISREG(info.st_mode) ? HostEntry::kFile : HostEntry::kOther;
}

FILE* OpenRegularFile(const std::string& path, uint64_t* length,
                      std::string* error) {
  // Looked at before the open, which a device might answer, and again
  // after it; the open itself never waits.
  struct stat info;
  if (stat(path.c_str(), &info) != 0) {
    Failed(error);
    return nullptr;
  }
  if (!S_ISREG(info.st_mode)) {
    *error = NotAFile(info.st_mode);
    return nullptr;
  }
  const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) {
    Failed(error);
    return nullptr;
  }
  if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) ||
      fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0) {
    *error = NotAFile(info.st_mode);
    close(fd);
    return nullptr;
  }
  *length = uint64_t(info.st_size);
  return StreamOn(fd, "rb", error);
}

FILE* CreateNewFile(const std::string& path, std::string* error) {
  return StreamOn(
      host::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW, 0666),
      "wb", error);
}

bool MakeFolder(const std::string& path, std::string* error) {
  return host::mkdirat(AT_FDCWD, path.c_str(), 0777) == 0 || Failed(error);
}

void RemoveEntry(const std::string& path) {
  (void)host::unlinkat(AT_FDCWD, path.c_str(), 0);
}

std::string ReplacementProblem(const std::string& path) {
  struct stat info;
  if (lstat(path.c_str(), &info) != 0 || S_ISREG(info.st_mode)) return "";
  return NotAFile(info.st_mode);
}

bool ReplaceRegularFile(const std::string& from, const std::string& to,
                        std::string* error) {
  for (int attempt = 0;; ++attempt) {
    struct stat info;
    const bool missing = lstat(to.c_str(), &info) != 0;
    if (missing && errno != ENOENT) return Failed(error);
    if (!missing && !S_ISREG(info.st_mode)) {
      *error = NotAFile(info.st_mode);
      return false;
    }
#ifdef __linux__
    // What was looked at may have changed since: the rename itself must
    // find nothing there, or the file swapped out must be a regular one.
    if (host::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(),
                        missing ? RENAME_NOREPLACE : RENAME_EXCHANGE) == 0) {
      if (missing) return true;
      if (lstat(from.c_str(), &info) == 0 && S_ISREG(info.st_mode)) {
        (void)host::unlinkat(AT_FDCWD, from.c_str(), 0);
        return true;
      }
      const char* swappedOut = NotAFile(info.st_mode);
      if (host::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(),
                          RENAME_EXCHANGE) != 0)
        return Failed(error);
      *error = swappedOut;
      return false;
    }
    // Something came or went since it was looked at: look again.
    if ((errno == EEXIST || errno == ENOENT) && attempt < 2) continue;
    if (errno != EINVAL && errno != ENOSYS) return Failed(error);
#endif
    // No swap on this file system.
    return host::rename(from.c_str(), to.c_str()) == 0 || Failed(error);
  }
}

bool SameFile(const std::string& a, const std::string& b) {
  struct stat first, second;
  return stat(a.c_str(), &first) == 0 && stat(b.c_str(), &second) == 0 &&
         first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

bool SeekFile(FILE* stream, uint64_t position) {
  return fseeko(stream, off_t(position), SEEK_SET) == 0;
}

bool RemoveEmptyFolder(const std::string& path) {
  return host::unlinkat(AT_FDCWD, path.c_str(), AT_REMOVEDIR) == 0;
}

std::string HostPathProblem(const std::string&, const std::string&, size_t) {
  return std::string();
}

bool FlushToDisk(FILE* stream, std::string* error) {
  return (fflush(stream) == 0 && fsync(fileno(stream)) == 0) || Failed(error);
}

HostFolder::~HostFolder() {
  if (handle >= 0) close(int(handle));
}

bool OpenHostFolder(const std::string& path, HostFolder* folder,
                    std::string* error) {
  const int fd =
      host::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC, 0);
  if (fd < 0) return Failed(error);
  *folder = HostFolder();
  folder->path = path;
  folder->handle = fd;
  return true;
}

bool OpenFolderIn(const HostFolder& parent, const std::string& name,
                  HostFolder* folder, std::string* error) {
  const int fd = openat(FolderOf(parent), name.c_str(),
                        O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) {
    if (errno == ELOOP) *error = "it is a link, which is never followed";
    return errno == ELOOP ? false : Failed(error);
  }
  *folder = HostFolder();
  folder->path = parent.path + "/" + name;
  folder->handle = fd;
  return true;
}

HostEntry InspectEntryIn(const HostFolder& folder, const std::string& name) {
  struct stat info;
  if (fstatat(FolderOf(folder), name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0)
    return HostEntry::kMissing;
  if (S_ISLNK(info.st_mode)) return HostEntry::kLink;
  if (S_ISDIR(info.st_mode)) return HostEntry::kFolder;
  return S_ISREG(info.st_mode) ? HostEntry::kFile : HostEntry::kOther;
}

bool MakeFolderIn(const HostFolder& folder, const std::string& name,
                  std::string* error) {
  return host::mkdirat(FolderOf(folder), name.c_str(), 0777) == 0 ||
         Failed(error);
}

void RemoveEntryIn(const HostFolder& folder, const std::string& name) {
  (void)host::unlinkat(FolderOf(folder), name.c_str(), 0);
}

bool RemoveEmptyFolderIn(const HostFolder& folder, const std::string& name) {
  return host::unlinkat(FolderOf(folder), name.c_str(), AT_REMOVEDIR) == 0;
}

FILE* CreateFileIn(const HostFolder& folder, const std::string& name,
                   std::string* error) {
  return StreamOn(
      host::openat(FolderOf(folder), name.c_str(),
                   O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666),
      "wb", error);
}

bool RenameIn(const HostFolder& folder, const std::string& from,
              const std::string& to, std::string* error) {
  return host::renameat(FolderOf(folder), from.c_str(), FolderOf(folder),
                        to.c_str()) == 0 ||
         Failed(error);
}

bool ListEntriesIn(const HostFolder& folder, std::vector<std::string>* names,
                   std::string* error) {
  // fdopendir takes the descriptor it is given.
  DIR* listing = fdopendir(
      openat(FolderOf(folder), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (listing == nullptr) return Failed(error);
  errno = 0;
  while (const dirent* entry = readdir(listing)) {
    const std::string name = entry->d_name;
    if (name != "." && name != "..") names->push_back(name);
  }
  const bool listed = errno == 0 || Failed(error);
  closedir(listing);
  return listed;
}

bool ExchangeIn(const HostFolder& folder, const std::string& a,
                const std::string& b, const std::string& aside,
                std::string* error) {
  const int fd = FolderOf(folder);
#ifdef __linux__
  if (host::renameat2(fd, a.c_str(), fd, b.c_str(), RENAME_EXCHANGE) == 0)
    return true;
  if (errno != EINVAL && errno != ENOSYS) return Failed(error);
#endif
  if (host::renameat(fd, a.c_str(), fd, aside.c_str()) != 0)
    return Failed(error);
  if (host::renameat(fd, b.c_str(), fd, a.c_str()) != 0) {
    Failed(error);
    (void)host::renameat(fd, aside.c_str(), fd, a.c_str());
    return false;
  }
  if (host::renameat(fd, aside.c_str(), fd, b.c_str()) != 0) {
    Failed(error);
    if (host::renameat(fd, a.c_str(), fd, b.c_str()) == 0)
      (void)host::renameat(fd, aside.c_str(), fd, a.c_str());
    return false;
  }
  return true;
}

bool HoldFolderForThisRun(const HostFolder& root, bool wait) {
  return host::flock(FolderOf(root), LOCK_EX | (wait ? 0 : LOCK_NB)) == 0 ||
         errno != EWOULDBLOCK;
}

bool FlushFileSystem(const HostFolder& root, std::string* error) {
#ifdef __linux__
  return syncfs(FolderOf(root)) == 0 || Failed(error);
#else
  sync();
  return true;
#endif
}

bool FlushedWith(const HostFolder& folder, const HostFolder& root) {
  struct stat here, there;
  return fstat(FolderOf(folder), &here) == 0 &&
         fstat(FolderOf(root), &there) == 0 && here.st_dev == there.st_dev;
}
