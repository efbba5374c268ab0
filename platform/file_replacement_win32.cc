// On Windows an existing destination is replaced with ReplaceFileA, which
// keeps its attributes; a new one is moved into place. Both take absolute
// paths only (under Wine ReplaceFileA refuses relative ones).
#include <windows.h>

#include <string>

#include "platform/file_replacement.h"

const char kReplacementEnding[] = ".tmp";

namespace {

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

bool WriteWhole(HANDLE file, const unsigned char* data, size_t size) {
  while (size > 0) {
    const DWORD chunk = size < (DWORD(1) << 30) ? DWORD(size) : DWORD(1) << 30;
    DWORD written = 0;
    if (!WriteFile(file, data, chunk, &written, nullptr) || written == 0)
      return false;
    data += written;
    size -= written;
  }
  return true;
}

bool WriteTemporary(const std::string& temporary, const void* data,
                    size_t size) {
  HANDLE file = CreateFileA(temporary.c_str(), GENERIC_WRITE, 0, nullptr,
                            CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  bool written =
      WriteWhole(file, static_cast<const unsigned char*>(data), size) &&
      FlushFileBuffers(file);
  written = CloseHandle(file) && written;
  return written;
}

bool PutInPlace(const std::string& temporary, const std::string& destination,
                bool exists) {
  if (!exists)
    return MoveFileExA(temporary.c_str(), destination.c_str(),
                       MOVEFILE_WRITE_THROUGH);
  if (ReplaceFileA(destination.c_str(), temporary.c_str(), nullptr,
                   REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr))
    return true;
  // Here the old file is gone already and the new one still has the
  // temporary name: moving it is all that is left to do.
  const DWORD error = GetLastError();
  return (error == ERROR_UNABLE_TO_MOVE_REPLACEMENT ||
          error == ERROR_UNABLE_TO_MOVE_REPLACEMENT_2) &&
         MoveFileExA(temporary.c_str(), destination.c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
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
  if (!WriteTemporary(temporary, data, size) ||
      !PutInPlace(temporary, destination, exists)) {
    DeleteFileA(temporary.c_str());
    return false;
  }
  return true;
}
