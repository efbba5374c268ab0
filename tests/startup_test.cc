// Start-up: the registry read with its bounds, and path normalisation.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <string>

#include "installer/settings.h"
#include "installer/startup.h"
#include "tests/test_support.h"

namespace {

TEST(PathNormalisation, EndsInExactlyOneAddedBackslash) {
  char path[kInstallPathSize] = "C:\\Games\\GHR";
  NormaliseInstallPath(path, sizeof path);
  EXPECT_STREQ("C:\\Games\\GHR\\", path);
  NormaliseInstallPath(path, sizeof path);
  EXPECT_STREQ("C:\\Games\\GHR\\", path);
  char empty[kInstallPathSize] = "";
  NormaliseInstallPath(empty, sizeof empty);
  EXPECT_STREQ("\\", empty);
  // A forward slash is not a backslash.
  char slash[kInstallPathSize] = "C:/Games/";
  NormaliseInstallPath(slash, sizeof slash);
  EXPECT_STREQ("C:/Games/\\", slash);
}

TEST(ReadRegistryValue, ReadsTheGameKeyOfAWinePrefix) {
  FakePrefix prefix;
  ScopedEnvironment wine("WINEPREFIX", prefix.path().c_str());
  prefix.WriteGameKey({{"Installpath", "C:\\Games\\GHR"},
                       {"Language", "ger"},
                       {"Exactly15", "abcdefghijklmno"},
                       {"Sixteen", "abcdefghijklmnop"},
                       {"Long", std::string(255, 'p')},
                       {"TooLong", std::string(256, 'p')}});

  char path[kInstallPathSize] = "unchanged";
  EXPECT_TRUE(ReadRegistryValue(REGISTRY_LOCAL_MACHINE, kGameRegistryKey,
                                "installPATH", path, sizeof path));
  EXPECT_STREQ("C:\\Games\\GHR", path);

  char language[kLanguageValueSize];
  memset(language, 'x', sizeof language);
  EXPECT_TRUE(ReadRegistryValue(REGISTRY_LOCAL_MACHINE, kGameRegistryKey,
                                "Language", language, sizeof language));
  EXPECT_STREQ("ger", language);

  // A missing value leaves the destination as it was.
  char untouched[kLanguageValueSize] = "keep";
  EXPECT_TRUE(ReadRegistryValue(REGISTRY_LOCAL_MACHINE, kGameRegistryKey,
                                "Nothing", untouched, sizeof untouched));
  EXPECT_STREQ("keep", untouched);

  // 15 characters fit the language buffer, 16 are refused without a write.
  EXPECT_TRUE(ReadRegistryValue(REGISTRY_LOCAL_MACHINE, kGameRegistryKey,
                                "Exactly15", language, sizeof language));
  EXPECT_STREQ("abcdefghijklmno", language);
  char guarded[kLanguageValueSize + 4];
  memset(guarded, '#', sizeof guarded);
  EXPECT_FALSE(ReadRegistryValue(REGISTRY_LOCAL_MACHINE, kGameRegistryKey,
                                 "Sixteen", guarded, kLanguageValueSize));
  for (char c : guarded) EXPECT_EQ('#', c);

  // 255 characters and their zero fill the 256-byte read; 256 do not.
  EXPECT_TRUE(ReadRegistryValue(REGISTRY_LOCAL_MACHINE, kGameRegistryKey,
                                "Long", path, sizeof path));
  EXPECT_EQ(std::string(255, 'p'), path);
  EXPECT_FALSE(ReadRegistryValue(REGISTRY_LOCAL_MACHINE, kGameRegistryKey,
                                 "TooLong", path, sizeof path));
}

TEST(ReadRegistryValue, AbsentKeyOrFileIsFalse) {
  FakePrefix prefix;
  ScopedEnvironment wine("WINEPREFIX", prefix.path().c_str());
  char path[kInstallPathSize] = "unchanged";
  // No system.reg at all.
  EXPECT_FALSE(ReadRegistryValue(REGISTRY_LOCAL_MACHINE, kGameRegistryKey,
                                 "Installpath", path, sizeof path));
  prefix.WriteRegistryWithoutKey();
  EXPECT_FALSE(ReadRegistryValue(REGISTRY_LOCAL_MACHINE, kGameRegistryKey,
                                 "Installpath", path, sizeof path));
  EXPECT_STREQ("unchanged", path);
  // A 64-bit prefix keeps the 32-bit program's key under Wow6432Node; the
  // 64-bit view's key is not the one the game's setup wrote.
  prefix.WriteGameKey({{"Installpath", "C:\\x"}}, /*win64=*/false);
  std::string reg = ReadFileBytes(prefix.path() + "/system.reg");
  WriteFileBytes(prefix.path() + "/system.reg",
                 reg.replace(reg.find("\n\n") + 2, 0, "#arch=win64\n\n"));
  EXPECT_FALSE(ReadRegistryValue(REGISTRY_LOCAL_MACHINE, kGameRegistryKey,
                                 "Installpath", path, sizeof path));
}

TEST(ReadRegistryValue, PrefixDefaultsToDotWineInHome) {
  FakePrefix prefix;
  prefix.WriteGameKey({{"Language", "ita"}});
  TempDir home;
  ASSERT_EQ(0, symlink(prefix.path().c_str(), (home.path() + "/.wine").c_str()));
  ScopedEnvironment noPrefix("WINEPREFIX", nullptr);
  ScopedEnvironment homeDir("HOME", home.path().c_str());
  char language[kLanguageValueSize] = "";
  EXPECT_TRUE(ReadRegistryValue(REGISTRY_LOCAL_MACHINE, kGameRegistryKey,
                                "Language", language, sizeof language));
  EXPECT_STREQ("ita", language);
}

}  // namespace
