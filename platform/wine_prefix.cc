#include "platform/wine_prefix.h"

#include <stdlib.h>

std::string WinePrefixDirectory() {
  std::string prefix;
  const char* fromEnvironment = getenv("WINEPREFIX");
  if (fromEnvironment != nullptr && *fromEnvironment != '\0') {
    prefix = fromEnvironment;
  } else {
    const char* home = getenv("HOME");
    if (home == nullptr || *home == '\0') return std::string();
    prefix = std::string(home) + "/.wine";
  }
  while (prefix.size() > 1 && prefix.back() == '/') prefix.pop_back();
  return prefix;
}
