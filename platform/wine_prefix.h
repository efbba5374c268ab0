// The Wine prefix that the Linux program patches: $WINEPREFIX, or
// $HOME/.wine when that is unset, as for every Wine tool.
#ifndef GRAVELHORN_PLATFORM_WINE_PREFIX_H_
#define GRAVELHORN_PLATFORM_WINE_PREFIX_H_

#include <string>

// The prefix folder, without a trailing slash. Empty when neither variable
// is set.
std::string WinePrefixDirectory();

#endif  // GRAVELHORN_PLATFORM_WINE_PREFIX_H_
