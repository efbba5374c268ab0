// The size of one read or write request when a whole file moves between
// memory and the disk.
#ifndef GRAVELHORN_PLATFORM_IO_REQUEST_H_
#define GRAVELHORN_PLATFORM_IO_REQUEST_H_

#include <cstddef>

// Files are read and written in requests of at most this many bytes: very
// large single requests to network drives fail on Windows with
// ERROR_NO_SYSTEM_RESOURCES, and a few MiB a request cost no speed.
constexpr size_t kLargestIoRequest = size_t(4) << 20;

#endif  // GRAVELHORN_PLATFORM_IO_REQUEST_H_
