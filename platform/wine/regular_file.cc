#include "platform/wine/regular_file.h"

#include <errno.h>
#include <fcntl.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

#include "platform/io_request.h"

int OpenRegularFile(const std::string& path, size_t* size, int* error) {
  const int fd =
      open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) {
    *error = errno;
    return -1;
  }
  struct stat info;
  if (fstat(fd, &info) != 0) {
    *error = errno;
    close(fd);
    return -1;
  }
  if (!S_ISREG(info.st_mode) ||
      fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0) {
    *error = S_ISDIR(info.st_mode) ? EISDIR : kNotARegularFile;
    close(fd);
    return -1;
  }
  *size = size_t(info.st_size);
  return fd;
}

bool ReadRegularFile(const std::string& path, size_t limit, std::string* bytes,
                     int* error) {
  size_t size = 0;
  const int fd = OpenRegularFile(path, &size, error);
  if (fd < 0) return false;
  if (size > limit) {
    close(fd);
    *error = EFBIG;
    return false;
  }
  std::string contents(size, '\0');
  size_t got = 0;
  // A file that shrinks while it is read ends where it ends; one that
  // grows is read to the size it had.
  while (got < size) {
    const ssize_t arrived =
        read(fd, &contents[got], std::min(size - got, kLargestIoRequest));
    if (arrived < 0 && errno == EINTR) continue;
    if (arrived < 0) {
      *error = errno;
      close(fd);
      return false;
    }
    if (arrived == 0) break;
    got += size_t(arrived);
  }
  close(fd);
  contents.resize(got);
  *bytes = std::move(contents);
  return true;
}

std::string FileErrorText(int error) {
  return error == kNotARegularFile ? "not a regular file" : strerror(error);
}
