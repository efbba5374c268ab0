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

 protected:
  // The most bytes a whole read can deliver (see ReadableSize).
  uint32_t readableLimit = UINT32_MAX;
  friend uint32_t ReadableSize(FileHandle* handle);
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
  // archiveLength is the archive's length as measured when it was mounted
  // (-1 when unknown): a member claiming more than that holds is damaged.
  ArchivedFile(FILE* archiveStream, uint32_t memberOffset, uint32_t memberSize,
               int64_t archiveLength);
  void Close() override;  // never fails; the archive's stream stays open
  int32_t GetSize() override;
  int32_t Tell() override;
  void Seek(int32_t position) override;
  bool IsEof() override;

 private:
  uint32_t offset;
  uint32_t size;
};

// The bytes a whole read of the file can deliver: GetSize(), or, for a
// member whose recorded size runs past the end of its archive (a damaged
// archive), the bytes from the member's first byte to the archive's end as
// it was when mounted. A handle without a stream ends the run with
// "FILE ERROR!", a disk file too large as GetSize says.
uint32_t ReadableSize(FileHandle* handle);

// Reads the file's first size bytes (at most ReadableSize) into block, from
// the file's first byte whatever the stream's position, in requests of at
// most kLargestIoRequest bytes each: one very large request fails on a
// network drive. Returns how many bytes arrived: fewer than size when a
// request came back short (a read error, a file that shrank); nothing is
// read after that, and each caller says what that means for it. A handle
// without a stream ends the run with "FILE ERROR!".
size_t ReadFileBytes(FileHandle* handle, void* block, uint32_t size);

#endif  // GRAVELHORN_FILESYSTEM_FILE_HANDLE_H_
