// The test programs' entry. The programs under test keep their narrow text
// in the locale's code page, and the expected texts are written for 1252,
// the code page of C.UTF-8: every test, and every program a test starts,
// runs in that locale, whatever locale the suite itself was started in.
// Tests that need another locale set it themselves, with the locale
// compiled by localedef (CompiledLocale).
#include <gtest/gtest.h>
#include <stdlib.h>

int main(int argc, char** argv) {
  setenv("LC_ALL", "C.UTF-8", 1);
  unsetenv("LOCPATH");
  // No program a test starts shows a desktop dialog, unless the test gives
  // it a display, or looks in the user's own Steam folder.
  unsetenv("DISPLAY");
  unsetenv("WAYLAND_DISPLAY");
  unsetenv("STEAM_DIR");
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
