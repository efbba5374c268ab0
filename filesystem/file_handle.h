// Open files of the packed file system: a disk file or an archive member,
// behind one interface. Callers read and write `stream` directly with the
// standard block read and write.
#ifndef GRAVELHORN_FILESYSTEM_FILE_HANDLE_H_
#define GRAVELHORN_FILESYSTEM_FILE_HANDLE_H_

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "filesystem/archive_table.h"

class FileHandle {
 public:
  virtual ~FileHandle() {}
  // Every operation but ArchivedFile's Close ends the run with "FILE ERROR!"
  // when the handle has no stream.
  virtual void Close() = 0;
  virtual int32_t GetSize() = 0;
  virtual int32_t Tell() = 0;
  virtual void Seek(int32_t position) = 0;
  virtual bool IsEof() = 0;

  FILE* stream = nullptr;  // none after Close
};

// An ordinary disk file; owns its stream.
class DiskFile : public FileHandle {
 public:
  // name is the path the file was opened under, for messages.
  DiskFile(FILE* openStream, const char* name);
  // A failed close is not reported: the installer writes its files through
  // ReplaceDiskFile (platform/file_replacement.h), which checks every step.
  void Close() override;
  // The length, measured once. A file of 2 GiB or more ends the run with a
  // message that names it.
  int32_t GetSize() override;
  int32_t Tell() override;
  void Seek(int32_t position) override;
  bool IsEof() override;

 private:
  int32_t size = -1;
  char name[kFileNameSize];
};

// A member of a registered archive. Borrows the archive's stream, shared by
// all members of that archive: read one member whole before opening another.
class ArchivedFile : public FileHandle {
 public:
  ArchivedFile(FILE* archiveStream, uint32_t memberOffset, uint32_t memberSize);
  void Close() override;  // never fails; the archive's stream stays open
  int32_t GetSize() override;
  int32_t Tell() override;
  void Seek(int32_t position) override;
  bool IsEof() override;

 private:
  uint32_t offset;
  uint32_t size;
};

// How many bytes a block read from the handle's stream can deliver before
// the end of the file, from the current position; 0 when unknown. A member
// of a damaged archive may claim more than this, and a caller that reads
// the file whole checks before it allocates a block of the claimed size.
uint64_t BytesLeftInStream(FileHandle* handle);

// Reads size bytes from the handle's stream, from its current position, into
// block, in requests of at most kLargestIoRequest bytes each: one very large
// request fails on a network drive. Returns how many bytes arrived, fewer
// than size when a request came back short (the end of the file or a read
// error); nothing is read after that. A handle without a stream ends the
// run with "FILE ERROR!".
size_t ReadInRequests(FileHandle* handle, void* block, size_t size);

#endif  // GRAVELHORN_FILESYSTEM_FILE_HANDLE_H_
