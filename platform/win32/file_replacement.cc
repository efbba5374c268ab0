// On Windows the new file is put in place with MoveFileExA: one rename,
// written through to the disk, that replaces a link rather than its target.
// (ReplaceFileA works in steps, and a failure between them loses the old
// file while the new one still has its temporary name.) A moved file keeps
// its own attributes, so the new one is created with the old one's. Every
// call that can meet a file another program holds for a moment is tried
// again for about two seconds. Paths are made absolute first.
#include "platform/file_replacement.h"

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "platform/io_request.h"
#include "platform/win32/replacement_calls.h"

const char kReplacementEnding[] = ".tmp";

namespace {

const DWORD kCarriedAttributes =
    FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE;
const DWORD kEveryShare =
    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// The waits between attempts on one file: 10 ms, twice as long each time,
// about two seconds in all.
class Backoff {
 public:
  // Waits and returns true, or returns false when the time is used up.
  bool Wait() {
    if (waited_ >= kTotalMilliseconds) return false;
    const DWORD delay = std::min(next_, kTotalMilliseconds - waited_);
    win32::Sleep(delay);
    waited_ += delay;
    next_ *= 2;
    return true;
  }

 private:
  static const DWORD kTotalMilliseconds = 2000;
  DWORD waited_ = 0;
  DWORD next_ = 10;
};

// What a call fails with while a virus scanner, an indexer or a sync client
// holds the file for a moment. Access denied also comes from a read-only
// file, which the callers rule out, and from a file whose deletion waits
// until another program closes it.
bool Busy(DWORD error) {
  return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION ||
         error == ERROR_ACCESS_DENIED;
}

bool ReadOnly(const std::string& path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES &&
         (attributes & FILE_ATTRIBUTE_READONLY) != 0;
}

// The absolute form of path, or "" when there is none.
std::string FullPath(const char* path) {
  const DWORD needed = GetFullPathNameA(path, 0, nullptr, nullptr);
  if (needed == 0) return std::string();
  std::string full(needed, '\0');
  const DWORD length = GetFullPathNameA(path, needed, &full[0], nullptr);
  if (length == 0 || length >= needed) return std::string();
  full.resize(length);
  return full;
}

// Where the file or folder path turns out to be after every link, or ""
// when it cannot be opened.
std::string FinalPath(const std::string& path) {
  const HANDLE handle = CreateFileA(
      path.c_str(), FILE_READ_ATTRIBUTES, kEveryShare, nullptr, OPEN_EXISTING,
      FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return std::string();
  std::string final(MAX_PATH, '\0');
  DWORD length = GetFinalPathNameByHandleA(handle, &final[0], MAX_PATH, 0);
  if (length >= MAX_PATH) {  // the size needed, with the zero
    final.assign(length, '\0');
    length = GetFinalPathNameByHandleA(handle, &final[0], length, 0);
  }
  CloseHandle(handle);
  if (length == 0 || length >= final.size()) return std::string();
  final.resize(length);
  return final;
}

// Whether path is the file itself rather than a link to one elsewhere.
// Wine shows a Unix symbolic link as a plain file and follows it when the
// file is deleted, moved or given attributes: the link's target, maybe
// outside the game folder, would go instead. Only where the file turns out
// to be, against where its folder does, tells.
bool IsItself(const std::string& path) {
  const size_t slash = path.rfind('\\');
  if (slash == std::string::npos) return false;
  const std::string file = FinalPath(path);
  std::string expected = FinalPath(path.substr(0, slash + 1));
  if (file.empty() || expected.empty()) return false;
  if (expected.back() != '\\') expected += '\\';
  expected += path.substr(slash + 1);
  return lstrcmpiA(file.c_str(), expected.c_str()) == 0;
}

// Whether the file path holds exactly size bytes of data; if so it is
// flushed to the disk, as a new file must be before its move.
bool HoldsOnDisk(const std::string& path, const unsigned char* data,
                 size_t size) {
  const HANDLE file =
      CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ,
                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  LARGE_INTEGER length;
  bool same = GetFileSizeEx(file, &length) && uint64_t(length.QuadPart) == size;
  std::vector<unsigned char> buffer(same ? std::min(size, kLargestIoRequest)
                                         : 0);
  for (size_t compared = 0; same && compared < size;) {
    DWORD got = 0;
    same = ReadFile(file, buffer.data(),
                    DWORD(std::min(buffer.size(), size - compared)), &got,
                    nullptr) &&
           got > 0 && memcmp(buffer.data(), data + compared, got) == 0;
    compared += got;
  }
  same = same && FlushFileBuffers(file);
  CloseHandle(file);
  return same;
}

enum class Leftover { kNone, kBusy, kNewFile, kInTheWay };

// Clears the temporary name of what a killed run or anything else left
// there: a file of any attributes, or an empty folder. A link stays in the
// way, and so does what cannot be removed (a folder with something in it;
// under Wine a fifo). A file there while the destination is missing holds
// the new file when its bytes are the new ones (the move of an earlier run
// failed): then it is the only copy, and stays to be moved. Any other file
// there is no copy of the destination, which has none.
Leftover ClearTemporaryName(const std::string& temporary,
                            bool destinationExists, const unsigned char* data,
                            size_t size) {
  const DWORD attributes = GetFileAttributesA(temporary.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    // Gone meanwhile, or a link to nothing: either shows in a while.
    const DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND || Busy(error) ? Leftover::kBusy
                                                        : Leftover::kInTheWay;
  }
  if (!IsItself(temporary)) return Leftover::kInTheWay;
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    if (win32::RemoveDirectoryA(temporary.c_str())) return Leftover::kNone;
  } else {
    if (!destinationExists && (attributes & FILE_ATTRIBUTE_READONLY) == 0 &&
        HoldsOnDisk(temporary, data, size))
      return Leftover::kNewFile;
    if ((attributes & FILE_ATTRIBUTE_READONLY) != 0)
      win32::SetFileAttributesA(temporary.c_str(), FILE_ATTRIBUTE_NORMAL);
    if (win32::DeleteFileA(temporary.c_str())) return Leftover::kNone;
  }
  return Busy(GetLastError()) ? Leftover::kBusy : Leftover::kInTheWay;
}

// Creates the temporary file, new, with attributes, clearing its name
// first. Returns kNone with *file open for writing, kNewFile when a
// leftover there is the new file already, or kInTheWay.
Leftover CreateTemporary(const std::string& temporary, DWORD attributes,
                         bool destinationExists, const unsigned char* data,
                         size_t size, Backoff* backoff, HANDLE* file) {
  for (bool cleared = false;;) {
    *file = win32::CreateFileA(temporary.c_str(), GENERIC_WRITE, 0, nullptr,
                               CREATE_NEW, attributes, nullptr);
    if (*file != INVALID_HANDLE_VALUE) return Leftover::kNone;
    const DWORD error = GetLastError();
    if (error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS) {
      const Leftover leftover =
          ClearTemporaryName(temporary, destinationExists, data, size);
      if (leftover == Leftover::kNewFile || leftover == Leftover::kInTheWay)
        return leftover;
      // A removed file can wait for another program to close it before
      // its name is free; the first time, it is tried again at once.
      if (leftover == Leftover::kNone && !cleared) {
        cleared = true;
        continue;
      }
    } else if (!Busy(error)) {
      return Leftover::kInTheWay;
    }
    if (!backoff->Wait()) return Leftover::kInTheWay;
  }
}

bool WriteWhole(HANDLE file, const unsigned char* data, size_t size) {
  while (size > 0) {
    const DWORD chunk = DWORD(std::min(size, kLargestIoRequest));
    DWORD written = 0;
    if (!win32::WriteFile(file, data, chunk, &written, nullptr) || written == 0)
      return false;
    data += written;
    size -= written;
  }
  return true;
}

// Writes the new file whole, flushes it to the disk and closes it. A file
// not written whole is no copy of anything: it is removed.
bool WriteTemporary(HANDLE file, const std::string& temporary,
                    const unsigned char* data, size_t size) {
  bool written = WriteWhole(file, data, size) && win32::FlushFileBuffers(file);
  written = win32::CloseHandle(file) && written;
  if (!written) win32::DeleteFileA(temporary.c_str());
  return written;
}

// The last step. A whole new file that cannot be moved is removed only
// while the destination is there: otherwise it is the only copy, left for
// the next run to move.
bool MoveIntoPlace(const std::string& temporary, const std::string& destination,
                   Backoff* backoff) {
  for (;;) {
    if (win32::MoveFileExA(temporary.c_str(), destination.c_str(),
                           MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
      return true;
    const DWORD error = GetLastError();
    if (!Busy(error) || ReadOnly(destination) || !backoff->Wait()) break;
  }
  if (GetFileAttributesA(destination.c_str()) != INVALID_FILE_ATTRIBUTES)
    win32::DeleteFileA(temporary.c_str());
  return false;
}

}  // namespace

bool ReplaceDiskFile(const char* windowsPath, const void* data, size_t size) {
  const std::string destination = FullPath(windowsPath);
  if (destination.empty()) return false;
  const std::string temporary = destination + kReplacementEnding;
  const DWORD attributes = GetFileAttributesA(destination.c_str());
  const bool exists = attributes != INVALID_FILE_ATTRIBUTES;
  // Windows refuses to replace a read-only file; Wine running as root
  // would not, so the program refuses it itself.
  if (exists &&
      (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY)) != 0)
    return false;
  const DWORD carried = exists ? attributes & kCarriedAttributes : 0;
  const auto* bytes = static_cast<const unsigned char*>(data);
  Backoff backoff;
  HANDLE file = INVALID_HANDLE_VALUE;
  switch (CreateTemporary(temporary,
                          carried != 0 ? carried : FILE_ATTRIBUTE_NORMAL,
                          exists, bytes, size, &backoff, &file)) {
    case Leftover::kNone:
      break;
    case Leftover::kNewFile:
      return MoveIntoPlace(temporary, destination, &backoff);
    default:
      return false;
  }
  return WriteTemporary(file, temporary, bytes, size) &&
         MoveIntoPlace(temporary, destination, &backoff);
}

// Every move was written through to the disk.
void FlushReplacedFolders() {}
