#include "platform/dll_search.h"

// A Linux program loads no DLLs on demand.
void RestrictDllSearch() {}
