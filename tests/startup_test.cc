// Start-up's install path normalisation at its edges: a path that already
// ends in a backslash, or is one. (Whole runs show the registry read: its
// view and its prefix.)
#include "installer/startup.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "installer/settings.h"

namespace {

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
