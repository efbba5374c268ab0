// The Windows program's entry. The command line and the show state are not
// used: the installer is configured by the registry alone.
#include <windows.h>

#include "installer/startup.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) { return RunInstaller(); }
