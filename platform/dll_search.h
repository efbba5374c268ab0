// Where the program's process looks for DLLs that Windows loads on demand.
#ifndef GRAVELHORN_PLATFORM_DLL_SEARCH_H_
#define GRAVELHORN_PLATFORM_DLL_SEARCH_H_

// Windows: restricts the search for DLLs loaded from now on to the system
// folder, so that a DLL saved beside the program (in Downloads, on a USB
// stick) is never loaded into it; the installer runs elevated. Called
// first in each Windows program's entry, before anything can load a DLL.
// Failure is not reported: nothing better could be done about it.
// Linux: does nothing.
void RestrictDllSearch();

#endif  // GRAVELHORN_PLATFORM_DLL_SEARCH_H_
