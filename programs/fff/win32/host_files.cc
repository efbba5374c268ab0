// The fff tool's disk operations on Windows, through the ANSI interfaces,
// so that host paths are the narrow text the tool was given. The calls that
// create, flush, move and remove go through the same seam as the
// installer's file replacement (win32::), which the Wine tier's test build
// fff_faults.exe fails where a test says.
#include "programs/fff/host_files.h"

#include <errno.h>
#include <fcntl.h>
#include <io.h>
#include <stdio.h>
#include <string.h>
#include <windows.h>

#include "platform/win32/replacement_calls.h"
#include "programs/fff/member_name.h"

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

// Why a handle of this type cannot be read as a file.
const char* NotAFile(DWORD type) {
  if (type == FILE_TYPE_PIPE) return "it is a pipe, not a file";
  if (type == FILE_TYPE_CHAR) return "it is a device, not a file";
  return "it is not a regular file";
}

std::string PathIn(const HostFolder& folder, const std::string& name) {
  return folder.path + "\\" + name;
}

const DWORD kEveryShare =
    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// Opens the entry at path to look at it: a link itself, never what it
// points to.
HANDLE OpenToLookAt(const std::string& path) {
  return CreateFileA(
      path.c_str(), FILE_READ_ATTRIBUTES, kEveryShare, nullptr, OPEN_EXISTING,
      FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
}

// Where the open file or folder turns out to be after every link; "" when
// the system cannot say.
std::string FinalPathOf(HANDLE handle) {
  std::string final(MAX_PATH, '\0');
  DWORD length = GetFinalPathNameByHandleA(handle, &final[0], MAX_PATH, 0);
  // Too small a buffer gives the size needed: with the zero on Windows,
  // without it under Wine, so one more is asked for.
  if (length >= MAX_PATH) {
    final.assign(length + 1, '\0');
    length =
        GetFinalPathNameByHandleA(handle, &final[0], DWORD(final.size()), 0);
  }
  if (length == 0 || length >= final.size()) return std::string();
  final.resize(length);
  return final;
}

// Where the folder at path turns out to be, links followed (a game folder
// that is a junction holds its files where the junction points); "" when
// the system cannot say.
std::string FolderFinalPath(const std::string& path) {
  const HANDLE handle =
      CreateFileA(path.c_str(), FILE_READ_ATTRIBUTES, kEveryShare, nullptr,
                  OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return std::string();
  std::string final = FinalPathOf(handle);
  CloseHandle(handle);
  return final;
}

// Whether entry, open on name in the folder that turns out to be at
// folderFinal, is that entry itself. Under Wine a Unix link has no reparse
// point and Wine follows it, even to remove it; only where the entry turns
// out to be, against where its folder does, tells (the installer finds
// its leftovers so too). What the system cannot say counts as a link.
bool IsItself(HANDLE entry, std::string folderFinal, const std::string& name) {
  const std::string final = FinalPathOf(entry);
  if (final.empty() || folderFinal.empty()) return false;
  if (folderFinal.back() != '\\') folderFinal += '\\';
  return lstrcmpiA(final.c_str(), (folderFinal + name).c_str()) == 0;
}

}  // namespace

bool IsAbsoluteHostPath(const std::string& path) {
  if (path.size() >= 2 && path[1] == ':') return true;  // a drive
  return !path.empty() && (path[0] == '\\' || path[0] == '/');
}

const char kHostFolderSeparators[] = "/\\";

std::string HostFileNameProblem(std::string_view name) {
  return WindowsFileNameProblem(name);
}

// Names as Windows compares them: letter case in every script. Host text
// is the narrow text.
std::string HostNameKey(const std::string& relative) {
  return WindowsNameKey(relative);
}

HostEntry InspectHostEntry(const std::string& path) {
  // Looked at through a handle on the entry itself: under Wine a Unix link
  // to a folder has the reparse attribute in its attributes but not in its
  // handle's, and a fifo has no attributes at all.
  const DWORD attributes = GetFileAttributesA(path.c_str());
  const HANDLE handle = OpenToLookAt(path);
  if (handle == INVALID_HANDLE_VALUE) {
    WIN32_FIND_DATAA found;
    const HANDLE listed = attributes == INVALID_FILE_ATTRIBUTES
                              ? FindFirstFileA(path.c_str(), &found)
                              : INVALID_HANDLE_VALUE;
    if (listed != INVALID_HANDLE_VALUE) FindClose(listed);
    // Listed but neither looked at nor opened: a dangling Unix link under
    // Wine. What cannot be opened is never followed nor removed.
    if (attributes == INVALID_FILE_ATTRIBUTES)
      return listed == INVALID_HANDLE_VALUE ? HostEntry::kMissing
                                            : HostEntry::kUnmarkedLink;
    return attributes & FILE_ATTRIBUTE_REPARSE_POINT ? HostEntry::kUnmarkedLink
           : attributes & FILE_ATTRIBUTE_DEVICE      ? HostEntry::kOther
           : attributes & FILE_ATTRIBUTE_DIRECTORY   ? HostEntry::kFolder
                                                     : HostEntry::kFile;
  }
  BY_HANDLE_FILE_INFORMATION info;
  const bool known = GetFileInformationByHandle(handle, &info) &&
                     GetFileType(handle) == FILE_TYPE_DISK;
  const size_t cut = path.find_last_of("/\\");
  const std::string name =
      cut == std::string::npos ? path : path.substr(cut + 1);
  // A drive, or a folder given as "." or "..", is no link of its own.
  const bool itself = name.empty() || name == "." || name == ".." ||
                      name.find(':') != std::string::npos ||
                      IsItself(handle,
                               FolderFinalPath(cut == std::string::npos
                                                   ? std::string(".")
                                                   : path.substr(0, cut + 1)),
                               name);
  CloseHandle(handle);
  if (!known) return HostEntry::kOther;
  if (!itself) return HostEntry::kUnmarkedLink;
  if (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)
    return HostEntry::kLink;
  return info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY ? HostEntry::kFolder
                                                          : HostEntry::kFile;
}

std::string ReplacementProblem(const std::string& path) {
  switch (InspectHostEntry(path)) {
    case HostEntry::kMissing:
    case HostEntry::kFile:
      return std::string();
    case HostEntry::kFolder:
      return "it is a folder, not a file";
    case HostEntry::kLink:
    case HostEntry::kUnmarkedLink:
      return "it is a link, not a file";
    default:
      return "it is not a regular file";
  }
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
  const DWORD type = GetFileType(handle);
  if (type != FILE_TYPE_DISK) {
    *error = NotAFile(type);
    (void)fclose(stream);
    return nullptr;
  }
  *length = uint64_t(_filelengthi64(_fileno(stream)));
  return stream;
}

FILE* CreateNewFile(const std::string& path, std::string* error) {
  HANDLE handle =
      win32::CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
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

namespace {

// A link to a folder (or a junction) is removed as a folder, which removes
// the link alone.
bool RemoveFileOrLink(const std::string& path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  const bool folder = attributes != INVALID_FILE_ATTRIBUTES &&
                      (attributes & FILE_ATTRIBUTE_DIRECTORY);
  return folder ? win32::RemoveDirectoryA(path.c_str())
                : win32::DeleteFileA(path.c_str());
}

}  // namespace

void RemoveEntry(const std::string& path) { (void)RemoveFileOrLink(path); }

bool ReplaceRegularFile(const std::string& from, const std::string& to,
                        std::string* error) {
  // Looked at again just before: Windows has no rename that replaces only
  // a regular file. One that finds nothing there replaces nothing.
  *error = ReplacementProblem(to);
  if (!error->empty()) return false;
  const bool missing = InspectHostEntry(to) == HostEntry::kMissing;
  return win32::MoveFileExA(from.c_str(), to.c_str(),
                            missing ? 0 : MOVEFILE_REPLACE_EXISTING) ||
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

bool RemoveEmptyFolder(const std::string& path) {
  return win32::RemoveDirectoryA(path.c_str());
}

std::string HostPathProblem(const std::string& folder,
                            const std::string& relative, size_t extraLength) {
  char full[MAX_PATH * 4];
  const DWORD length =
      GetFullPathNameA(folder.c_str(), sizeof full, full, nullptr);
  if (length == 0 || length >= sizeof full)
    return "the folder's full path cannot be worked out";
  const size_t slash = relative.rfind('/');
  const size_t besideLength =
      slash == std::string::npos ? extraLength : slash + 1 + extraLength;
  const size_t longest =
      length + 1 +
      (relative.size() > besideLength ? relative.size() : besideLength);
  if (longest < MAX_PATH) return std::string();
  return "its path would be " + std::to_string(longest) +
         " characters long, and Windows allows " + std::to_string(MAX_PATH - 1);
}

bool FlushToDisk(FILE* stream, std::string* error) {
  if (fflush(stream) != 0) {
    *error = strerror(errno);
    return false;
  }
  return win32::FlushFileBuffers(
             reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)))) ||
         Failed(error);
}

HostFolder::~HostFolder() {
  if (handle != -1) CloseHandle(reinterpret_cast<HANDLE>(handle));
}

namespace {

// Holds the folder at path open for listing, sharing everything but its
// removal or renaming; with noLink, a reparse point there is refused.
bool HoldFolder(const std::string& path, bool noLink, HostFolder* folder,
                std::string* error) {
  HANDLE held = CreateFileA(
      path.c_str(), FILE_LIST_DIRECTORY, FILE_SHARE_READ | FILE_SHARE_WRITE,
      nullptr, OPEN_EXISTING,
      FILE_FLAG_BACKUP_SEMANTICS | (noLink ? FILE_FLAG_OPEN_REPARSE_POINT : 0),
      nullptr);
  if (held == INVALID_HANDLE_VALUE) return Failed(error);
  BY_HANDLE_FILE_INFORMATION info;
  const bool known = GetFileInformationByHandle(held, &info);
  const DWORD attributes = known ? info.dwFileAttributes : 0;
  if (!known || !(attributes & FILE_ATTRIBUTE_DIRECTORY) ||
      (noLink && (attributes & FILE_ATTRIBUTE_REPARSE_POINT))) {
    *error = attributes & FILE_ATTRIBUTE_REPARSE_POINT
                 ? "it is a link, which is never followed"
                 : "it is not a folder";
    CloseHandle(held);
    return false;
  }
  *folder = HostFolder();
  folder->path = path;
  folder->handle = reinterpret_cast<intptr_t>(held);
  return true;
}

}  // namespace

bool OpenHostFolder(const std::string& path, HostFolder* folder,
                    std::string* error) {
  return HoldFolder(path, false, folder, error);
}

bool OpenFolderIn(const HostFolder& parent, const std::string& name,
                  HostFolder* folder, std::string* error) {
  if (!HoldFolder(PathIn(parent, name), true, folder, error)) return false;
  if (IsItself(reinterpret_cast<HANDLE>(folder->handle),
               FinalPathOf(reinterpret_cast<HANDLE>(parent.handle)), name))
    return true;
  *folder = HostFolder();  // closes it
  *error = "it is a link, which is never followed";
  return false;
}

HostEntry InspectEntryIn(const HostFolder& folder, const std::string& name) {
  return InspectHostEntry(PathIn(folder, name));
}

bool MakeFolderIn(const HostFolder& folder, const std::string& name,
                  std::string* error) {
  return MakeFolder(PathIn(folder, name), error);
}

void RemoveEntryIn(const HostFolder& folder, const std::string& name) {
  RemoveEntry(PathIn(folder, name));
}

bool RemoveEmptyFolderIn(const HostFolder& folder, const std::string& name) {
  return win32::RemoveDirectoryA(PathIn(folder, name).c_str());
}

FILE* CreateFileIn(const HostFolder& folder, const std::string& name,
                   std::string* error) {
  return CreateNewFile(PathIn(folder, name), error);
}

bool RenameIn(const HostFolder& folder, const std::string& from,
              const std::string& to, std::string* error) {
  // A link to a folder cannot be moved over; it is removed first.
  const std::string target = PathIn(folder, to);
  if (InspectHostEntry(target) == HostEntry::kLink && !RemoveFileOrLink(target))
    return Failed(error);
  return win32::MoveFileExA(
             PathIn(folder, from).c_str(), target.c_str(),
             MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) ||
         Failed(error);
}

bool ListEntriesIn(const HostFolder& folder, std::vector<std::string>* names,
                   std::string* error) {
  WIN32_FIND_DATAA found;
  const HANDLE search = FindFirstFileA(PathIn(folder, "*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE)
    return GetLastError() == ERROR_FILE_NOT_FOUND || Failed(error);
  do {
    const std::string name = found.cFileName;
    if (name != "." && name != "..") names->push_back(name);
  } while (FindNextFileA(search, &found));
  const bool listed = GetLastError() == ERROR_NO_MORE_FILES || Failed(error);
  FindClose(search);
  return listed;
}

bool ExchangeIn(const HostFolder& folder, const std::string& a,
                const std::string& b, const std::string& aside,
                std::string* error) {
  const std::string first = PathIn(folder, a), second = PathIn(folder, b),
                    third = PathIn(folder, aside);
  if (!win32::MoveFileExA(first.c_str(), third.c_str(), 0))
    return Failed(error);
  if (!win32::MoveFileExA(second.c_str(), first.c_str(), 0)) {
    Failed(error);
    (void)win32::MoveFileExA(third.c_str(), first.c_str(), 0);
    return false;
  }
  if (!win32::MoveFileExA(third.c_str(), second.c_str(), 0)) {
    Failed(error);
    if (win32::MoveFileExA(first.c_str(), second.c_str(), 0))
      (void)win32::MoveFileExA(third.c_str(), first.c_str(), 0);
    return false;
  }
  return true;
}

bool HoldFolderForThisRun(const HostFolder& root, bool wait) {
  // A mutex named after the folder's identity, which the system lets go of
  // (abandons) when its holder ends; it is kept until this process ends.
  BY_HANDLE_FILE_INFORMATION info;
  if (!GetFileInformationByHandle(reinterpret_cast<HANDLE>(root.handle), &info))
    return true;
  char name[64];
  (void)snprintf(name, sizeof name, "Local\\fff-extract-%08lx-%08lx%08lx",
                 info.dwVolumeSerialNumber, info.nFileIndexHigh,
                 info.nFileIndexLow);
  const HANDLE mutex = CreateMutexA(nullptr, FALSE, name);
  if (mutex == nullptr) return true;
  if (WaitForSingleObject(mutex, wait ? INFINITE : 0) != WAIT_TIMEOUT)
    return true;
  CloseHandle(mutex);
  return false;
}

bool FlushFileSystem(const HostFolder&, std::string*) { return true; }

bool FlushedWith(const HostFolder&, const HostFolder&) { return false; }
