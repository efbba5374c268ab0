// The size of one read or write request when a whole file moves between
// memory and the disk.
#ifndef GRAVELHORN_PLATFORM_IO_REQUEST_H_
#define GRAVELHORN_PLATFORM_IO_REQUEST_H_

#include <cstddef>
#include <cstdio>

// Files are read and written in requests of at most this many bytes: very
// large single requests to network drives fail on Windows with
// ERROR_NO_SYSTEM_RESOURCES, and a few MiB a request cost no speed.
constexpr size_t kLargestIoRequest = size_t(4) << 20;

// Reads size bytes from stream into block in such requests. Returns how
// many arrived: fewer than size when a request came back short (the end of
// the file, a read error), after which nothing more is read.
inline size_t ReadInRequests(FILE* stream, void* block, size_t size) {
  unsigned char* bytes = static_cast<unsigned char*>(block);
  size_t done = 0;
  while (done < size) {
    const size_t request =
        size - done < kLargestIoRequest ? size - done : kLargestIoRequest;
    const size_t arrived = fread(bytes + done, 1, request, stream);
    done += arrived;
    if (arrived != request) break;
  }
  return done;
}

#endif  // GRAVELHORN_PLATFORM_IO_REQUEST_H_
