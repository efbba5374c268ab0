#include "platform/dll_search.h"

#include <windows.h>

void RestrictDllSearch() {
  // Windows 7 has SetDefaultDllDirectories only with update KB2533623, and a
  // program that imported it would not start without it: look it up.
  typedef BOOL(WINAPI * SetDefaultDllDirectoriesCall)(DWORD);
  const HMODULE kernel32 = GetModuleHandleA("kernel32.dll");
  const FARPROC found =
      kernel32 != nullptr ? GetProcAddress(kernel32, "SetDefaultDllDirectories")
                          : nullptr;
  const auto setDefaultDllDirectories =
      reinterpret_cast<SetDefaultDllDirectoriesCall>(
          reinterpret_cast<void*>(found));
  if (setDefaultDllDirectories != nullptr &&
      setDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32))
    return;
  // Without it, at least take the current folder out of the search.
  SetDllDirectoryA("");
}
