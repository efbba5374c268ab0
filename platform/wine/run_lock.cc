// The game's folder itself is the lock: flock on a descriptor of it that
// stays open until the process ends. Unlike a record lock (fcntl), a flock
// belongs to that one open descriptor, so closing another descriptor of the
// folder (the flush after the renames) keeps it, and the kernel lets go of
// it when the process ends, however it ends. No file is added to the game's
// folder.
#include "platform/run_lock.h"

#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/file.h>
#include <unistd.h>

#include <string>

#include "platform/shown_text.h"
#include "platform/wine/wine_path.h"
#include "platform/wine/wine_prefix.h"

void HoldGameForThisRun(const char* installPath) {
  std::string folder;
  if (!MapWindowsPath(installPath, WinePrefixDirectory(), &folder)) return;
  // O_NONBLOCK: a fifo under the game's name never holds the open.
  const int fd =
      open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return;
  if (flock(fd, LOCK_EX | LOCK_NB) == 0) return;  // held to the end
  if (errno == EWOULDBLOCK) {
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
    int held;
    do {
      held = flock(fd, LOCK_EX);
    } while (held != 0 && errno == EINTR);
    if (held == 0) return;
  }
  // The lock cannot be had at all (a file system without locks): the run
  // goes on without it.
  close(fd);
}
