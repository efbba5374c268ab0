// Every scenario, run with the built Linux program in a Wine-style prefix:
// the box it prints, its exit code, and every file in the prefix after it.
#include <gtest/gtest.h>

#include <string>

#include "tests/scenarios.h"

namespace {

// What a run answers when it may not mount anything here.
const int kCannotMount = 99;

class LinuxProgram : public ::testing::TestWithParam<Scenario> {
 protected:
  std::string Game() const { return prefix_.DriveC() + "/" + GetParam().gameFolder; }

  void WriteRegistry() {
    const Scenario& s = GetParam();
    if (s.key == Key::kMissing) prefix_.WriteRegistryWithoutKey();
    if (s.key == Key::kOnlySubkey) prefix_.WriteGameKey({}, true, "Options");
    if (s.key != Key::kValues) return;
    if (!s.registryLines.empty())
      prefix_.WriteGameKey({}, true, "", s.registryLines);
    else
      prefix_.WriteGameKey({{"Installpath", s.installPath}, {"Language", s.language}});
  }

  // Runs the program from the scenario's working folder; with a mount, in a
  // mount namespace of its own, whose game folder is copied to afterwards_
  // before the namespace goes.
  CommandResult Run(Mount mount) {
    // A gigabyte of address space is ample for the sample game, and keeps a
    // block the size of a damaged member's claim from being had at all.
    // (AddressSanitizer needs far more for its shadow memory.)
#ifdef __SANITIZE_ADDRESS__
    std::vector<std::string> argv = {PatchInstallerPath()};
#else
    std::vector<std::string> argv = {"/usr/bin/prlimit", "--as=1073741824", "--",
                                     PatchInstallerPath()};
#endif
    if (mount != Mount::kNone) {
      const std::string setUp =
          mount == Mount::kReadOnly
              ? "mount --bind \"$game\" \"$game\" && mount -o remount,bind,ro \"$game\" \"$game\""
              // 128 KiB: the game and a small new file fit, 200 KiB do not.
              : "cp -a \"$game\" " + scratch_.path() +
                    "/stash && mount -t tmpfs -o size=128k tmpfs \"$game\" && cp -a " +
                    scratch_.path() + "/stash/. \"$game\"";
      argv.insert(argv.begin(),
                  {"/usr/bin/unshare", "--mount", "--propagation", "private", "/bin/sh", "-c",
                   "game=$1; shift; (" + setUp + ") || exit " + std::to_string(kCannotMount) +
                       "; \"$@\"; status=$?; cp -a \"$game\" " + afterwards_ + "; exit $status",
                   "sh", Game()});
    }
    return RunCommand(argv, prefix_.DriveC() + "/" + GetParam().workingFolder,
                      {"WINEPREFIX=" + prefix_.path(), "LC_ALL=C.UTF-8"});
  }

  // The exit code, the one box on its stream, and the game folder; nothing
  // else in drive_c changes.
  void Expect(const CommandResult& result, int exitCode, const std::string& printed,
              const FolderFiles& game, const std::string& gameFolder) {
    EXPECT_EQ(exitCode, result.exitCode) << result.err;
    EXPECT_EQ(printed, exitCode == 0 ? result.out : result.err);
    EXPECT_EQ("", exitCode == 0 ? result.err : result.out);
    EXPECT_EQ(game, FolderTree(gameFolder));
    FolderFiles rest = FolderTree(prefix_.DriveC());
    for (auto file = rest.begin(); file != rest.end();)
      file = file->first.rfind(GetParam().gameFolder + "/", 0) == 0 ? rest.erase(file) : ++file;
    EXPECT_EQ(restBefore_, rest) << "the run changed drive_c outside the game folder";
  }

  FakePrefix prefix_;
  TempDir scratch_;
  const std::string afterwards_ = scratch_.path() + "/afterwards";
  FolderFiles restBefore_;
};

TEST_P(LinuxProgram, ShowsTheBoxAndLeavesTheFilesExpected) {
  const Scenario& s = GetParam();
  const FolderFiles before = LayOutScenario(s, prefix_.DriveC());
  WriteRegistry();
  restBefore_ = FolderTree(prefix_.DriveC());
  for (auto file = restBefore_.begin(); file != restBefore_.end();)
    file = file->first.rfind(s.gameFolder + "/", 0) == 0 ? restBefore_.erase(file) : ++file;

  const CommandResult result = Run(s.mount);
  if (result.exitCode == kCannotMount)
    GTEST_SKIP() << "no mounts in a private mount namespace here (needs root): " << result.err;
  const FolderFiles expected = ExpectedGameFiles(s, before);
  const bool copiedOut = s.mount == Mount::kSmallDisk;
  Expect(result, s.exitCode, PrintedBox(s.caption, s.text), expected,
         copiedOut ? afterwards_ : Game());
  if (s.check != nullptr) s.check(Game());

  if (s.again == Again::kRefused)
    Expect(Run(Mount::kNone), 255, PrintedBox("ERROR", kTooOldText), expected, Game());
  if (s.again == Again::kPatchedWithRoom) {
    RestoreFolderFiles(Game(), FolderTree(afterwards_));
    Expect(Run(Mount::kNone), 0,
           PrintedBox("Gravelhorn Patch Installer", EnglishSummary("C:\\Games\\GHR\\", "v1.1")),
           FullyPatchedGameFiles(s, before), Game());
  }
}

INSTANTIATE_TEST_SUITE_P(Scenarios, LinuxProgram, ::testing::ValuesIn(Scenarios()),
                         [](const auto& info) { return std::string(info.param.name); });

// strace stops the program at one step of putting a file in place: a
// SIGKILL at each rename and at the folder's flush after the last one, a
// rename that fails. No game file is ever missing (a new one whose rename
// failed stays whole under its temporary name), and the next run completes
// the patch and leaves nothing else.
TEST(StoppedLinuxProgram, NeverLosesAGameFileAndTheNextRunCompletes) {
  const std::string strace = "/usr/bin/strace";
  if (RunCommand({strace, "-o", "/dev/null", "/bin/true"}, "/").exitCode != 0)
    GTEST_SKIP() << strace << " cannot trace here (scripts/setup.sh installs strace)";
  struct Row {
    const char* scenario;
    std::string inject;
    int exitCode;  // -1: killed
    int stopped;   // the game file it stopped at; 4: after all
    bool temporaryLeft;
  };
  const std::string renames = "rename,renameat,renameat2:";
  const Row rows[] = {
      {"English", renames + "signal=KILL:when=1", -1, 0, true},
      {"English", renames + "signal=KILL:when=2", -1, 1, true},
      {"English", renames + "signal=KILL:when=3", -1, 2, true},
      {"English", renames + "signal=KILL:when=4", -1, 3, true},
      {"English", "fsync:signal=KILL:when=5", -1, 4, false},
      {"English", renames + "error=EIO:when=2", 255, 1, false},
      {"GermanEdition", renames + "error=EIO:when=1", 255, 0, true},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(std::string(row.scenario) + " " + row.inject);
    const Scenario& s = ScenarioNamed(row.scenario);
    FakePrefix prefix;
    const FolderFiles before = LayOutScenario(s, prefix.DriveC());
    prefix.WriteGameKey({{"Installpath", s.installPath}, {"Language", s.language}});
    const std::string game = prefix.DriveC() + "/" + s.gameFolder;
    const std::string patch = prefix.DriveC() + "/" + s.workingFolder;
    // The sanitizers' leak check traces the process itself at its end.
    const std::vector<std::string> environment = {
        "WINEPREFIX=" + prefix.path(), "LC_ALL=C.UTF-8", "ASAN_OPTIONS=detect_leaks=0"};
    const CommandResult stopped = RunCommand(
        {strace, "-f", "-o", "/dev/null", "-e", "inject=" + row.inject, PatchInstallerPath()},
        patch, environment);
    EXPECT_EQ(row.exitCode, stopped.exitCode) << stopped.err;
    if (row.exitCode == 255) {
      EXPECT_EQ(PrintedBox("ERROR", CannotWriteText(s, row.stopped)), stopped.err);
    }
    EXPECT_EQ(StoppedGameFiles(s, before, row.stopped, row.temporaryLeft), FolderTree(game));

    const CommandResult next = RunCommand({PatchInstallerPath()}, patch, environment);
    const bool refused = row.stopped == 4;  // the game reads as v1.2 now
    EXPECT_EQ(refused ? 255 : 0, next.exitCode);
    EXPECT_EQ(refused ? PrintedBox("ERROR", kTooOldText) : PrintedBox(s.caption, s.text),
              refused ? next.err : next.out);
    EXPECT_EQ(StoppedGameFiles(s, before, 4, false), FolderTree(game));
  }
}

}  // namespace
