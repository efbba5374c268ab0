// The fff tool's disk operations on Linux and other POSIX systems.
#include "programs/fff/host_files.h"

#include <errno.h>
#include <fcntl.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

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
      open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW, 0666), "wb",
      error);
}

bool MakeFolder(const std::string& path, std::string* error) {
  return mkdir(path.c_str(), 0777) == 0 || Failed(error);
}

bool RemoveEntry(const std::string& path, std::string* error) {
  return unlink(path.c_str()) == 0 || Failed(error);
}

bool ReplaceEntry(const std::string& from, const std::string& to,
                  std::string* error) {
  return rename(from.c_str(), to.c_str()) == 0 || Failed(error);
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
  return rmdir(path.c_str()) == 0;
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
  const int fd = open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
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
  return mkdirat(FolderOf(folder), name.c_str(), 0777) == 0 || Failed(error);
}

bool RemoveEntryIn(const HostFolder& folder, const std::string& name,
                   std::string* error) {
  return unlinkat(FolderOf(folder), name.c_str(), 0) == 0 || Failed(error);
}

bool RemoveEmptyFolderIn(const HostFolder& folder, const std::string& name) {
  return unlinkat(FolderOf(folder), name.c_str(), AT_REMOVEDIR) == 0;
}

FILE* CreateFileIn(const HostFolder& folder, const std::string& name,
                   std::string* error) {
  return StreamOn(
      openat(FolderOf(folder), name.c_str(),
             O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666),
      "wb", error);
}

bool RenameIn(const HostFolder& folder, const std::string& from,
              const std::string& to, std::string* error) {
  return renameat(FolderOf(folder), from.c_str(), FolderOf(folder),
                  to.c_str()) == 0 ||
         Failed(error);
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
