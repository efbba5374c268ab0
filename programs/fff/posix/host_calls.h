// The system calls with which fff changes the disk on Linux: create,
// exchange, rename, lock and remove. fff links host_calls.cc, which calls
// the system; the test build fff_faults links its own versions instead
// (tests/fff_faults_posix.cc), which fail a call where a test says, as a
// file system without RENAME_EXCHANGE, a full disk or a busy name would.
#ifndef GRAVELHORN_FFF_POSIX_HOST_CALLS_H_
#define GRAVELHORN_FFF_POSIX_HOST_CALLS_H_

#include <sys/types.h>

namespace host {

int open(const char* path, int flags, mode_t mode);
int openat(int folder, const char* name, int flags, mode_t mode);
int mkdirat(int folder, const char* name, mode_t mode);
int rename(const char* from, const char* to);
int renameat(int fromFolder, const char* from, int toFolder, const char* to);
// Linux's renameat2 (RENAME_NOREPLACE, RENAME_EXCHANGE); elsewhere it
// fails with ENOSYS.
int renameat2(int fromFolder, const char* from, int toFolder, const char* to,
              unsigned flags);
int unlinkat(int folder, const char* name, int flags);
int flock(int fd, int operation);

}  // namespace host

#endif  // GRAVELHORN_FFF_POSIX_HOST_CALLS_H_
