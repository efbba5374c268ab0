// The game's folder itself is the Linux program's lock: flock on a
// descriptor of it. Unlike a record lock (fcntl), a flock belongs to that
// one open descriptor, so closing another descriptor of the folder (the
// flush after the renames) keeps it. No file is added to the game's folder.
// Beside it, an open-file-description lock (F_OFD_SETLK) on one byte far
// past the end of Game.cod: Wine's server holds the Windows program's
// LockFileEx on the same byte as an fcntl lock on the host file, and the
// two exclude each other. The kernel lets go of both when the process
// ends, however it ends.
#include "platform/run_lock.h"

#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <string>

#include "platform/shown_text.h"
#include "platform/wine/file_failures.h"
#include "platform/wine/wine_path.h"
#include "platform/wine/wine_prefix.h"

namespace {

// The byte the two programs lock: 1 TiB into Game.cod, past any game's.
const off_t kSharedByte = off_t(1) << 40;

int heldFolder = -1;
int heldArchive = -1;

// Takes the game's Game.cod byte on archive; false when another process
// holds it. A file system without such locks counts as taken.
bool TakeSharedByte(int archive) {
  struct flock lock = {};
  lock.l_type = F_WRLCK;
  lock.l_whence = SEEK_SET;
  lock.l_start = kSharedByte;
  lock.l_len = 1;
  return fcntl(archive, F_OFD_SETLK, &lock) == 0 ||
         (errno != EAGAIN && errno != EACCES);
}

// Takes the folder's flock; false when another process holds it. A file
// system without flock counts as taken.
bool TakeFolder(int folder) {
  return flock(folder, LOCK_EX | LOCK_NB) == 0 || errno != EWOULDBLOCK;
}

double Now() {
  struct timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return double(now.tv_sec) + double(now.tv_nsec) / 1e9;
}

// The regular file Game.cod in folder, opened for the lock (which needs
// write access; nothing is written), or -1.
int OpenGameArchive(const char* installPath) {
  std::string archive;
  if (!MapWindowsPath((std::string(installPath) + "Game.cod").c_str(),
                      WinePrefixDirectory(), &archive))
    return -1;
  const int fd =
      open(archive.c_str(), O_RDWR | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  struct stat info;
  if (fd >= 0 && fstat(fd, &info) == 0 && S_ISREG(info.st_mode)) return fd;
  if (fd >= 0) close(fd);
  return -1;
}

}  // namespace

bool HoldGameForThisRun(const char* installPath, const char* firstFile) {
  std::string folder;
  if (!MapWindowsPath(installPath, WinePrefixDirectory(), &folder)) return true;
  // O_NONBLOCK: a fifo under the game's name never holds the open.
  heldFolder =
      open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NONBLOCK | O_CLOEXEC);
  if (heldFolder < 0) return true;
  heldArchive = OpenGameArchive(installPath);
  const double deadline = Now() + kLongestWaitForAnotherRun;
  bool waiting = false;
  for (;;) {
    if (TakeFolder(heldFolder) &&
        (heldArchive < 0 || TakeSharedByte(heldArchive)))
      return true;
    if (!waiting) {
      waiting = true;
      // Shown as it is on disk, without the prefix's drive links.
      char* resolved = realpath(folder.c_str(), nullptr);
      const std::string shown =
          ShownEscaped(resolved != nullptr ? resolved : folder);
      free(resolved);
      (void)fprintf(stderr,
                    "patch_installer: another run is patching the game in %s; "
                    "waiting for it to end\n",
                    shown.c_str());
      (void)fflush(stderr);
    }
    if (Now() >= deadline) break;
    usleep(50 * 1000);
  }
  NoteFileFailure(firstFile, folder,
                  "another run has held the game for " +
                      std::to_string(kLongestWaitForAnotherRun) +
                      " seconds; let it end, or end it, and run this again",
                  true);
  LetGoOfGame();
  return false;
}

void LetGoOfGame() {
  // Closing the descriptors lets go of both locks.
  if (heldArchive >= 0) close(heldArchive);
  if (heldFolder >= 0) close(heldFolder);
  heldArchive = heldFolder = -1;
}
