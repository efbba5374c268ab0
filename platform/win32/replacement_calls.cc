#include "platform/win32/replacement_calls.h"

namespace win32 {

HANDLE CreateFileA(LPCSTR name, DWORD access, DWORD share,
                   LPSECURITY_ATTRIBUTES security, DWORD disposition,
                   DWORD flags, HANDLE templateFile) {
  return ::CreateFileA(name, access, share, security, disposition, flags,
                       templateFile);
}

BOOL WriteFile(HANDLE file, LPCVOID data, DWORD size, LPDWORD written,
               LPOVERLAPPED overlapped) {
  return ::WriteFile(file, data, size, written, overlapped);
}

BOOL FlushFileBuffers(HANDLE file) { return ::FlushFileBuffers(file); }
BOOL CloseHandle(HANDLE handle) { return ::CloseHandle(handle); }

BOOL MoveFileExA(LPCSTR from, LPCSTR to, DWORD flags) {
  return ::MoveFileExA(from, to, flags);
}

BOOL DeleteFileA(LPCSTR name) { return ::DeleteFileA(name); }
BOOL RemoveDirectoryA(LPCSTR name) { return ::RemoveDirectoryA(name); }

BOOL SetFileAttributesA(LPCSTR name, DWORD attributes) {
  return ::SetFileAttributesA(name, attributes);
}

void Sleep(DWORD milliseconds) { ::Sleep(milliseconds); }

}  // namespace win32
