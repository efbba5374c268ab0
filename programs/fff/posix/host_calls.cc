#include "programs/fff/posix/host_calls.h"

#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace host {

int open(const char* path, int flags, mode_t mode) {
  return ::open(path, flags, mode);
}
int openat(int folder, const char* name, int flags, mode_t mode) {
  return ::openat(folder, name, flags, mode);
}
int mkdirat(int folder, const char* name, mode_t mode) {
  return ::mkdirat(folder, name, mode);
}
int rename(const char* from, const char* to) { return ::rename(from, to); }
int renameat(int fromFolder, const char* from, int toFolder, const char* to) {
  return ::renameat(fromFolder, from, toFolder, to);
}
int renameat2(int fromFolder, const char* from, int toFolder, const char* to,
              unsigned flags) {
#ifdef __linux__
  return ::renameat2(fromFolder, from, toFolder, to, flags);
#else
  errno = ENOSYS;
  return -1;
#endif
}
int unlinkat(int folder, const char* name, int flags) {
  return ::unlinkat(folder, name, flags);
}
int flock(int fd, int operation) { return ::flock(fd, operation); }

}  // namespace host
