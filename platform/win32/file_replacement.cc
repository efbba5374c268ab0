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
// kBusyFileRetryMilliseconds in all.
class Backoff {
 public:
  // Waits and returns true, or returns false when the time is used up.
  bool Wait() {
    if (waited_ >= kBusyFileRetryMilliseconds) return false;
    const DWORD delay =
        std::min<DWORD>(next_, kBusyFileRetryMilliseconds - waited_);
    win32::Sleep(delay);
    waited_ += delay;
    next_ *= 2;
    return true;
  }

 private:
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
  // Too small a buffer gives the size needed: with the zero on Windows,
  // without it under Wine, so one more is asked for.
  if (length >= MAX_PATH) {
    final.assign(length + 1, '\0');
    length =
        GetFinalPathNameByHandleA(handle, &final[0], DWORD(final.size()), 0);
  }
  CloseHandle(handle);
  if (length == 0 || length >= final.size()) return std::string();
  final.resize(length);
  return final;
}

// Whether the file path turns out to be in its own folder under its own
// name.
bool FinalPathIsItsOwn(const std::string& path) {
  const size_t slash = path.rfind('\\');
  if (slash == std::string::npos) return false;
  const std::string file = FinalPath(path);
  std::string expected = FinalPath(path.substr(0, slash + 1));
  if (file.empty() || expected.empty()) return false;
  if (expected.back() != '\\') expected += '\\';
  expected += path.substr(slash + 1);
  return lstrcmpiA(file.c_str(), expected.c_str()) == 0;
}

// The file path is: its volume's serial number and its index there, opened
// with flags (FILE_FLAG_OPEN_REPARSE_POINT: a link as the link itself).
bool Identify(const std::string& path, DWORD flags,
              BY_HANDLE_FILE_INFORMATION* identity) {
  const HANDLE handle =
      CreateFileA(path.c_str(), FILE_READ_ATTRIBUTES, kEveryShare, nullptr,
                  OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | flags, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return false;
  const bool known = GetFileInformationByHandle(handle, identity) != FALSE;
  CloseHandle(handle);
  return known;
}

// Which file a new file is: the run moves only the file it wrote (or
// found whole) into place, never one that another program put under its
// name meanwhile.
struct FileIdentity {
  DWORD volume = 0, indexHigh = 0, indexLow = 0;
};

bool IdentityOf(HANDLE file, FileIdentity* identity) {
  BY_HANDLE_FILE_INFORMATION information;
  if (!GetFileInformationByHandle(file, &information)) return false;
  *identity = {information.dwVolumeSerialNumber, information.nFileIndexHigh,
               information.nFileIndexLow};
  return true;
}

// Whether the name path (a link as itself) holds the file identity.
bool Holds(const std::string& path, const FileIdentity& identity) {
  BY_HANDLE_FILE_INFORMATION information;
  return Identify(path, FILE_FLAG_OPEN_REPARSE_POINT, &information) &&
         information.dwVolumeSerialNumber == identity.volume &&
         information.nFileIndexHigh == identity.indexHigh &&
         information.nFileIndexLow == identity.indexLow;
}

bool RunsUnderWine() {
  const HMODULE ntdll = GetModuleHandleA("ntdll.dll");
  return ntdll != nullptr &&
         GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

// Whether path is the file itself rather than a link to one elsewhere.
// Windows tells by identity: a link opened as itself is another file than
// the one it leads to. (The final paths would not tell in a game folder
// reached through a junction: the file's is the target's path, the
// folder's the junction's own.) Wine shows a Unix symbolic link as the
// file it leads to, one identity either way, and follows it when the file
// is deleted, moved or given attributes: the link's target, maybe outside
// the game folder, would go instead. Under Wine only where the file turns
// out to be, against where its folder does, tells.
bool IsItself(const std::string& path) {
  BY_HANDLE_FILE_INFORMATION asItIs, followed;
  if (!Identify(path, FILE_FLAG_OPEN_REPARSE_POINT, &asItIs) ||
      !Identify(path, 0, &followed) ||
      asItIs.dwVolumeSerialNumber != followed.dwVolumeSerialNumber ||
      asItIs.nFileIndexHigh != followed.nFileIndexHigh ||
      asItIs.nFileIndexLow != followed.nFileIndexLow)
    return false;
  static const bool underWine = RunsUnderWine();
  return !underWine || FinalPathIsItsOwn(path);
}

enum class Contents { kSame, kOther, kUnreadable };

// Whether the file path holds exactly size bytes of data; if so it is
// flushed to the disk, as a new file must be before its move. It is opened
// sharing everything, so that a program that holds it (a virus scanner, a
// backup) never makes it look like another file. Where that program does
// not share writing, it is only read: it was flushed by the run that wrote
// it before anything could fail at its move, and only a kill between the
// two leaves it to the system's own writing.
Contents HoldsOnDisk(const std::string& path, const unsigned char* data,
                     size_t size, FileIdentity* identity) {
  bool flush = true;
  HANDLE file =
      CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, kEveryShare,
                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    flush = false;
    file = CreateFileA(path.c_str(), GENERIC_READ, kEveryShare, nullptr,
                       OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  }
  if (file == INVALID_HANDLE_VALUE) return Contents::kUnreadable;
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
  same =
      same && (!flush || FlushFileBuffers(file)) && IdentityOf(file, identity);
  CloseHandle(file);
  return same ? Contents::kSame : Contents::kOther;
}

// What is under the temporary name: nothing (any more); something that
// may go in a while; the new file already; something that stays in the
// way. kRefused: the name is free, but the file cannot be created there
// (a missing folder, or one that refuses).
enum class Leftover { kNone, kBusy, kNewFile, kInTheWay, kRefused };

// Clears the temporary name of what a killed run or anything else left
// there: a file of any attributes, or an empty folder. A link stays in the
// way, and so does what cannot be removed (a folder with something in it;
// under Wine a fifo). A file there while the destination is missing holds
// the new file when its bytes are the new ones (the move of an earlier run
// failed): then it is the only copy, and stays to be moved; it goes only
// once it is known to hold other bytes, which are no copy of the
// destination, since there is none.
Leftover ClearTemporaryName(const std::string& temporary,
                            bool destinationExists, const unsigned char* data,
                            size_t size, FileIdentity* newFile) {
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
    if (!destinationExists && (attributes & FILE_ATTRIBUTE_READONLY) == 0) {
      switch (HoldsOnDisk(temporary, data, size, newFile)) {
        case Contents::kSame:
          return Leftover::kNewFile;
        case Contents::kUnreadable:
          return Leftover::kBusy;
        case Contents::kOther:
          break;
      }
    }
    if ((attributes & FILE_ATTRIBUTE_READONLY) != 0)
      win32::SetFileAttributesA(temporary.c_str(), FILE_ATTRIBUTE_NORMAL);
    if (win32::DeleteFileA(temporary.c_str())) return Leftover::kNone;
  }
  return Busy(GetLastError()) ? Leftover::kBusy : Leftover::kInTheWay;
}

// Whether anything has the name path, even a file whose deletion waits
// for another program to close it.
bool NameTaken(const std::string& path) {
  if (GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES) return true;
  const DWORD error = GetLastError();
  return error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND;
}

// Creates the temporary file, new, with attributes, clearing its name
// first. Returns kNone with *file open for writing, kNewFile when a
// leftover there is the new file already, kInTheWay when something under
// the name stays, or kRefused.
Leftover CreateTemporary(const std::string& temporary, DWORD attributes,
                         bool destinationExists, const unsigned char* data,
                         size_t size, Backoff* backoff, HANDLE* file,
                         FileIdentity* newFile) {
  for (bool cleared = false;;) {
    *file = win32::CreateFileA(temporary.c_str(), GENERIC_WRITE, 0, nullptr,
                               CREATE_NEW, attributes, nullptr);
    if (*file != INVALID_HANDLE_VALUE) return Leftover::kNone;
    const DWORD error = GetLastError();
    if (error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS) {
      const Leftover leftover =
          ClearTemporaryName(temporary, destinationExists, data, size, newFile);
      if (leftover == Leftover::kNewFile || leftover == Leftover::kInTheWay)
        return leftover;
      // A removed file can wait for another program to close it before
      // its name is free; the first time, it is tried again at once.
      if (leftover == Leftover::kNone && !cleared) {
        cleared = true;
        continue;
      }
    } else if (!Busy(error)) {
      return Leftover::kRefused;
    }
    if (!backoff->Wait())
      return NameTaken(temporary) ? Leftover::kInTheWay : Leftover::kRefused;
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

// Writes the new file whole, flushes it to the disk, says which file it is
// and closes it. A file not written whole is no copy of anything: it is
// removed.
bool WriteTemporary(HANDLE file, const std::string& temporary,
                    const unsigned char* data, size_t size,
                    FileIdentity* newFile) {
  bool written = WriteWhole(file, data, size) &&
                 win32::FlushFileBuffers(file) && IdentityOf(file, newFile);
  written = win32::CloseHandle(file) && written;
  if (!written) win32::DeleteFileA(temporary.c_str());
  return written;
}

// The last step, for the new file that is newFile. Another file under the
// temporary name (another program's, put there meanwhile) is neither moved
// nor removed. A whole new file that cannot be moved is removed only while
// the destination is there: otherwise it is the only copy, left for the
// next run to move.
bool MoveIntoPlace(const std::string& temporary, const std::string& destination,
                   const FileIdentity& newFile, Backoff* backoff) {
  if (!Holds(temporary, newFile)) return false;
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

// Whether a replacement refuses what has these attributes: a folder, or a
// read-only file, which Windows refuses to replace (Wine running as root
// would not, so the program refuses it itself).
bool Refused(DWORD attributes) {
  return attributes != INVALID_FILE_ATTRIBUTES &&
         (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY)) !=
             0;
}

// Whether path is a folder with something in it.
bool FolderWithEntries(const std::string& path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES ||
      (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0)
    return false;
  WIN32_FIND_DATAA entry;
  const HANDLE search = FindFirstFileA((path + "\\*").c_str(), &entry);
  if (search == INVALID_HANDLE_VALUE) return false;
  bool entries = false;
  do
    entries = entries || (strcmp(entry.cFileName, ".") != 0 &&
                          strcmp(entry.cFileName, "..") != 0);
  while (!entries && FindNextFileA(search, &entry));
  FindClose(search);
  return entries;
}

}  // namespace

bool CanReplaceDiskFile(const char* windowsPath, bool* temporaryInTheWay) {
  const std::string destination = FullPath(windowsPath);
  if (destination.empty() || Refused(GetFileAttributesA(destination.c_str())))
    return false;
  if (FolderWithEntries(destination + kReplacementEnding)) {
    if (temporaryInTheWay != nullptr) *temporaryInTheWay = true;
    return false;
  }
  return true;
}

bool ReplaceDiskFile(const char* windowsPath, const void* data, size_t size,
                     bool* temporaryInTheWay) {
  const std::string destination = FullPath(windowsPath);
  if (destination.empty()) return false;
  const std::string temporary = destination + kReplacementEnding;
  const DWORD attributes = GetFileAttributesA(destination.c_str());
  const bool exists = attributes != INVALID_FILE_ATTRIBUTES;
  if (Refused(attributes)) return false;
  const DWORD carried = exists ? attributes & kCarriedAttributes : 0;
  const auto* bytes = static_cast<const unsigned char*>(data);
  Backoff backoff;
  HANDLE file = INVALID_HANDLE_VALUE;
  FileIdentity newFile;
  switch (CreateTemporary(temporary,
                          carried != 0 ? carried : FILE_ATTRIBUTE_NORMAL,
                          exists, bytes, size, &backoff, &file, &newFile)) {
    case Leftover::kNone:
      return WriteTemporary(file, temporary, bytes, size, &newFile) &&
             MoveIntoPlace(temporary, destination, newFile, &backoff);
    case Leftover::kNewFile:
      // Moved, it would keep whatever attributes were given to it since
      // (hidden, system): the new file takes none, as there was no old
      // one to take them from.
      if (win32::SetFileAttributesA(temporary.c_str(), FILE_ATTRIBUTE_NORMAL))
        return MoveIntoPlace(temporary, destination, newFile, &backoff);
      break;
    case Leftover::kRefused:
      return false;
    case Leftover::kBusy:
    case Leftover::kInTheWay:
      break;
  }
  if (temporaryInTheWay != nullptr) *temporaryInTheWay = true;
  return false;
}

// Every move was written through to the disk.
void FlushReplacedFolders() {}
