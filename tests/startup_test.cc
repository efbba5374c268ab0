// Start-up's registry read where a whole run cannot reach it cheaply: which
// view of the registry, which prefix, and path normalisation.
#include "installer/startup.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

#include "installer/settings.h"
#include "tests/support/test_support.h"

namespace {

TEST(ReadRegistryValue, ReadsThe32BitViewOfTheDefaultOrGivenPrefix) {
  auto installPath = [] {
    char path[kInstallPathSize] = "<key missing>";
    ReadRegistryValue(REGISTRY_LOCAL_MACHINE, kGameRegistryKey, "installPATH", path, sizeof path);
    return std::string(path);
  };
  FakePrefix prefix;
  TempDir home;
  ASSERT_EQ(0, symlink(prefix.path().c_str(), (home.path() + "/.wine").c_str()));
  ScopedEnvironment homeDir("HOME", home.path().c_str());
  ScopedEnvironment noPrefix("WINEPREFIX", nullptr);
  prefix.WriteGameKey({{"Installpath", "C:\\In32BitView"}});
  EXPECT_EQ("C:\\In32BitView", installPath());  // $HOME/.wine
  ScopedEnvironment wine("WINEPREFIX", (prefix.path() + "//").c_str());
  prefix.WriteGameKey({{"Installpath", "C:\\In32BitPrefix"}}, /*win64=*/false);
  EXPECT_EQ("C:\\In32BitPrefix", installPath());
  // In a 64-bit prefix the key outside Wow6432Node is the 64-bit view's.
  const std::string reg = prefix.path() + "/system.reg";
  WriteFileBytes(reg, "#arch=win64\n" + ReadFileBytes(reg));
  EXPECT_EQ("<key missing>", installPath());
}

TEST(NormaliseInstallPath, EndsInExactlyOneBackslash) {
  // clang-format off
  for (const auto& [given, normalised] : {std::pair<std::string, std::string>{"C:\\G", "C:\\G\\"},
       {"C:\\G\\", "C:\\G\\"}, {"", "\\"}, {"\\", "\\"}, {"C:/G/", "C:/G/\\"}}) {
    // clang-format on
    char path[kInstallPathSize] = {};
    given.copy(path, given.size());
    NormaliseInstallPath(path, sizeof path);
    EXPECT_EQ(normalised, path);
  }
}

}  // namespace
