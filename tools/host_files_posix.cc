// The fff tool's disk operations on Linux and other POSIX systems.
#include <errno.h>
#include <fcntl.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include "tools/host_files.h"

namespace {

bool Failed(std::string* error) {
  *error = strerror(errno);
  return false;
}

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
  FILE* stream = fopen(path.c_str(), "rb");
  if (stream == nullptr) {
    Failed(error);
    return nullptr;
  }
  struct stat info;
  if (fstat(fileno(stream), &info) != 0) {
    Failed(error);
    fclose(stream);
    return nullptr;
  }
  if (!S_ISREG(info.st_mode)) {
    *error = S_ISDIR(info.st_mode) ? "it is a folder, not a file"
                                   : "it is not a regular file";
    fclose(stream);
    return nullptr;
  }
  *length = uint64_t(info.st_size);
  return stream;
}

FILE* CreateNewFile(const std::string& path, std::string* error) {
  const int fd =
      open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW, 0666);
  FILE* stream = fd < 0 ? nullptr : fdopen(fd, "wb");
  if (stream == nullptr) {
    Failed(error);
    if (fd >= 0) close(fd);
  }
  return stream;
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
