// The Linux stand-in for the registry: HKEY_LOCAL_MACHINE is the Wine
// prefix's system.reg. A missing or unreadable file means the key is absent.
#include <fstream>
#include <sstream>
#include <string>

#include "platform/code_page.h"
#include "platform/registry.h"
#include "platform/wine_prefix.h"
#include "platform/wine_registry.h"

namespace {

bool ReadWholeFile(const std::string& path, std::string* text) {
  std::ifstream file(path, std::ios::binary);
  if (!file) return false;
  std::ostringstream contents;
  contents << file.rdbuf();
  if (file.bad()) return false;
  *text = contents.str();
  return true;
}

// The path a 32-bit program sees keyPath at: under Software\Wow6432Node in
// a 64-bit prefix.
std::string ThirtyTwoBitView(const char* keyPath) {
  static const char kSoftware[] = "Software\\";
  const size_t length = sizeof kSoftware - 1;
  const std::string path = keyPath;
  if (path.size() <= length ||
      !SameWideNameIgnoringCase(NarrowToWide(path.substr(0, length)),
                                NarrowToWide(kSoftware)))
    return path;
  return path.substr(0, length) + "Wow6432Node\\" + path.substr(length);
}

}  // namespace

RegistryStatus QueryRegistryValue(RegistryRoot root, const char* keyPath,
                                  const char* valueName, RegistryValue* value) {
  std::string prefix = WinePrefixDirectory();
  if (root != REGISTRY_LOCAL_MACHINE || prefix.empty())
    return REGISTRY_KEY_MISSING;
  std::string text;
  if (!ReadWholeFile(prefix + "/system.reg", &text))
    return REGISTRY_KEY_MISSING;
  std::string path =
      WineRegistryIsWin64(text) ? ThirtyTwoBitView(keyPath) : keyPath;
  return FindWineRegistryValue(text, path.c_str(), valueName, value);
}
