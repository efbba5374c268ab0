#include "filesystem/file_handle.h"

#include <algorithm>
#include <cstring>

#include "platform/disk_file.h"
#include "platform/io_request.h"

namespace {

void RequireStream(FILE* stream) {
  if (stream == nullptr) FileSystemFatal("FILE ERROR!");
}

}  // namespace

DiskFile::DiskFile(FILE* openStream, const char* fileName) {
  stream = openStream;
  (void)snprintf(name, sizeof name, "%s", fileName);
}

void DiskFile::Close() {
  RequireStream(stream);
  (void)fclose(stream);
  stream = nullptr;
}

int32_t DiskFile::GetSize() {
  RequireStream(stream);
  if (size == -1) {
    const int64_t length = MeasureStreamLength(stream);
    if (length < 0 || length > INT32_MAX) {
      char message[kFileNameSize + 64];
      (void)snprintf(message, sizeof message,
                     "FILE_SYSTEM: FILE TOO LARGE OR UNREADABLE (%s)", name);
      FileSystemFatal(message);
    }
    size = static_cast<int32_t>(length);
  }
  return size;
}

int32_t DiskFile::Tell() {
  RequireStream(stream);
  return static_cast<int32_t>(TellStream(stream));
}

void DiskFile::Seek(int32_t position) {
  RequireStream(stream);
  SeekStream(stream, position);
}

bool DiskFile::IsEof() {
  RequireStream(stream);
  return feof(stream) != 0;
}

ArchivedFile::ArchivedFile(FILE* archiveStream, uint32_t memberOffset,
                           uint32_t memberSize, int64_t archiveLength)
    : offset(memberOffset), size(memberSize) {
  stream = archiveStream;
  const int64_t held = archiveLength - int64_t(memberOffset);
  readableLimit = held <= 0                    ? 0
                  : held < int64_t(memberSize) ? uint32_t(held)
                                               : memberSize;
}

void ArchivedFile::Close() { stream = nullptr; }

int32_t ArchivedFile::GetSize() {
  RequireStream(stream);
  return static_cast<int32_t>(size);
}

int32_t ArchivedFile::Tell() {
  RequireStream(stream);
  return static_cast<int32_t>(TellStream(stream) - int64_t(offset));
}

void ArchivedFile::Seek(int32_t position) {
  RequireStream(stream);
  SeekStream(stream, int64_t(offset) + position);
}

bool ArchivedFile::IsEof() {
  RequireStream(stream);
  return uint64_t(TellStream(stream)) >= uint64_t(offset) + size;
}

uint32_t ReadableSize(FileHandle* handle) {
  const int32_t size = handle->GetSize();
  if (size <= 0) return 0;
  return std::min(uint32_t(size), handle->readableLimit);
}

size_t ReadFileBytes(FileHandle* handle, void* block, uint32_t size) {
  handle->Seek(0);
  return ReadInRequests(handle->stream, block, size);
}
