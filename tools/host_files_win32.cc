// The fff tool's disk operations on Windows, through the ANSI interfaces,
// so that host paths are the narrow text the tool was given.
#include <errno.h>
#include <fcntl.h>
#include <io.h>
#include <stdio.h>
#include <string.h>
#include <windows.h>

#include "tools/host_files.h"

namespace {

// The system's text for the last error, without its line end.
bool Failed(std::string* error) {
  char text[256] = {};
  const DWORD length =
      FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                     nullptr, GetLastError(), 0, text, sizeof text, nullptr);
  *error = std::string(text, length);
  while (!error->empty() && (error->back() == '\n' || error->back() == '\r' ||
                             error->back() == '.'))
    error->pop_back();
  return false;
}

}  // namespace

HostEntry InspectHostEntry(const std::string& path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return HostEntry::kMissing;
  if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) return HostEntry::kLink;
  if (attributes & FILE_ATTRIBUTE_DIRECTORY) return HostEntry::kFolder;
  return attributes & FILE_ATTRIBUTE_DEVICE ? HostEntry::kOther
                                            : HostEntry::kFile;
}

FILE* OpenRegularFile(const std::string& path, uint64_t* length,
                      std::string* error) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES &&
      (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    *error = "it is a folder, not a file";
    return nullptr;
  }
  FILE* stream = fopen(path.c_str(), "rb");
  if (stream == nullptr) {
    *error = strerror(errno);
    return nullptr;
  }
  HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
  if (GetFileType(handle) != FILE_TYPE_DISK) {
    *error = "it is not a regular file";
    fclose(stream);
    return nullptr;
  }
  *length = uint64_t(_filelengthi64(_fileno(stream)));
  return stream;
}

FILE* CreateNewFile(const std::string& path, std::string* error) {
  HANDLE handle =
      CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                  CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    Failed(error);
    return nullptr;
  }
  const int fd = _open_osfhandle(intptr_t(handle), _O_WRONLY | _O_BINARY);
  FILE* stream = fd < 0 ? nullptr : _fdopen(fd, "wb");
  if (stream == nullptr) {
    *error = "cannot open the new file";
    if (fd >= 0)
      _close(fd);
    else
      CloseHandle(handle);
  }
  return stream;
}

bool MakeFolder(const std::string& path, std::string* error) {
  return CreateDirectoryA(path.c_str(), nullptr) || Failed(error);
}

bool RemoveEntry(const std::string& path, std::string* error) {
  // A link to a folder (or a junction) is removed as a folder, which
  // removes the link alone.
  const DWORD attributes = GetFileAttributesA(path.c_str());
  const bool folder = attributes != INVALID_FILE_ATTRIBUTES &&
                      (attributes & FILE_ATTRIBUTE_DIRECTORY);
  return (folder ? RemoveDirectoryA(path.c_str())
                 : DeleteFileA(path.c_str())) ||
         Failed(error);
}

bool ReplaceEntry(const std::string& from, const std::string& to,
                  std::string* error) {
  return MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING) ||
         Failed(error);
}

namespace {

bool IdentifyFile(const std::string& path, BY_HANDLE_FILE_INFORMATION* info) {
  HANDLE handle = CreateFileA(
      path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return false;
  const bool known = GetFileInformationByHandle(handle, info);
  CloseHandle(handle);
  return known;
}

}  // namespace

bool SameFile(const std::string& a, const std::string& b) {
  BY_HANDLE_FILE_INFORMATION first, second;
  return IdentifyFile(a, &first) && IdentifyFile(b, &second) &&
         first.dwVolumeSerialNumber == second.dwVolumeSerialNumber &&
         first.nFileIndexHigh == second.nFileIndexHigh &&
         first.nFileIndexLow == second.nFileIndexLow;
}

bool SeekFile(FILE* stream, uint64_t position) {
  return _fseeki64(stream, int64_t(position), SEEK_SET) == 0;
}
