// The Win32 calls with which file_replacement_win32.cc puts a file in place.
// The program players run links replacement_calls_win32.cc, which calls the
// system; the Windows test build links its own versions instead, which can
// fail any call or end the process where a test says, as a full disk, a
// busy file or a killed run would.
#ifndef GRAVELHORN_PLATFORM_REPLACEMENT_CALLS_WIN32_H_
#define GRAVELHORN_PLATFORM_REPLACEMENT_CALLS_WIN32_H_

#include <windows.h>

namespace win32 {

HANDLE CreateFileA(LPCSTR name, DWORD access, DWORD share,
                   LPSECURITY_ATTRIBUTES security, DWORD disposition,
                   DWORD flags, HANDLE templateFile);
BOOL WriteFile(HANDLE file, LPCVOID data, DWORD size, LPDWORD written,
               LPOVERLAPPED overlapped);
BOOL FlushFileBuffers(HANDLE file);
BOOL CloseHandle(HANDLE handle);
BOOL MoveFileExA(LPCSTR from, LPCSTR to, DWORD flags);
BOOL DeleteFileA(LPCSTR name);
BOOL RemoveDirectoryA(LPCSTR name);
BOOL SetFileAttributesA(LPCSTR name, DWORD attributes);
void Sleep(DWORD milliseconds);

}  // namespace win32

#endif  // GRAVELHORN_PLATFORM_REPLACEMENT_CALLS_WIN32_H_
