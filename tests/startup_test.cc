// Start-up's registry read where a whole run cannot reach it cheaply: which
// view of the registry, which prefix, and path normalisation.
#include "installer/startup.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

#include "installer/settings.h"
#include "tests/support/test_support.h"

namespace {

std::string ReadInstallPath() {
  char path[kInstallPathSize] = "<key missing>";
  ReadRegistryValue(REGISTRY_LOCAL_MACHINE, kGameRegistryKey, "installPATH", path, sizeof path);
  return path;
}

TEST(ReadRegistryValue, ReadsThe32BitViewOfTheDefaultOrGivenPrefix) {
  FakePrefix prefix;
  TempDir home;
  ASSERT_EQ(0, symlink(prefix.path().c_str(), (home.path() + "/.wine").c_str()));
  ScopedEnvironment homeDir("HOME", home.path().c_str()), noPrefix("WINEPREFIX", nullptr);
  prefix.WriteGameKey({{"Installpath", "C:\\In32BitView"}});
  EXPECT_EQ("C:\\In32BitView", ReadInstallPath());  // $HOME/.wine
  ScopedEnvironment wine("WINEPREFIX", (prefix.path() + "//").c_str());
  prefix.WriteGameKey({{"Installpath", "C:\\In32BitPrefix"}}, /*win64=*/false);
  EXPECT_EQ("C:\\In32BitPrefix", ReadInstallPath());
  // In a 64-bit prefix the key outside Wow6432Node is the 64-bit view's.
  const std::string reg = prefix.path() + "/system.reg";
  WriteFileBytes(reg, "#arch=win64\n" + ReadFileBytes(reg));
  EXPECT_EQ("<key missing>", ReadInstallPath());
}

TEST(NormaliseInstallPath, EndsInExactlyOneBackslash) {
  // clang-format off
  const std::pair<std::string, std::string> rows[] = {{"C:\\Games\\GHR", "C:\\Games\\GHR\\"},
      {"C:\\Games\\GHR\\", "C:\\Games\\GHR\\"}, {"", "\\"}, {"\\", "\\"}, {"C:/Games/", "C:/Games/\\"}};
  // clang-format on
  for (const auto& [given, normalised] : rows) {
    char path[kInstallPathSize] = {};
    given.copy(path, given.size());
    NormaliseInstallPath(path, sizeof path);
    EXPECT_EQ(normalised, path);
  }
}

}  // namespace
