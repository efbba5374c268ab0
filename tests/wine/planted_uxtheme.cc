// A DLL that another user could save beside a downloaded program, under the
// name of one that Wine's message boxes load on demand to draw themselves
// in the system's visual style (uxtheme.dll). Loaded into a process, it
// leaves an empty file named after itself plus ".loaded" beside itself.
// It exports, doing nothing, what Wine's boxes call of it, so that a
// program that loads it still shows its box. Built with mingw-w64.
#include <windows.h>

extern "C" BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID) {
  if (reason != DLL_PROCESS_ATTACH) return TRUE;
  char marker[MAX_PATH + 8];
  const DWORD length = GetModuleFileNameA(module, marker, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return TRUE;
  lstrcpyA(marker + length, ".loaded");
  // (A file that cannot be made leaves INVALID_HANDLE_VALUE, which closes as nothing.)
  CloseHandle(CreateFileA(marker, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
  return TRUE;
}

extern "C" __declspec(dllexport) HANDLE WINAPI OpenThemeData(HWND, LPCWSTR) { return nullptr; }
extern "C" __declspec(dllexport) HANDLE WINAPI GetWindowTheme(HWND) { return nullptr; }
extern "C" __declspec(dllexport) HRESULT WINAPI CloseThemeData(HANDLE) { return S_OK; }
extern "C" __declspec(dllexport) HRESULT WINAPI EnableThemeDialogTexture(HWND, DWORD) {
  return E_NOTIMPL;
}
