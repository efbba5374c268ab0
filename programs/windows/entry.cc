// The Windows program's entry. The command line and the show state are not
// used: the installer is configured by the registry alone.
#include <windows.h>

#include "installer/startup.h"
#include "platform/dll_search.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  // Elevated, started from wherever the player saved it: before anything
  // can load a DLL on demand (the first box does), keep the search out of
  // the program's folder.
  RestrictDllSearch();
  return RunInstaller();
}
