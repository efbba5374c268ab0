// Every scenario, run with the built Linux program in a Wine-style prefix:
// the box it prints, the hints after it, its exit code, and every file in
// the prefix after it. The prefix is Steam's Proton prefix of a fake home
// folder, where --list finds it.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <tuple>

#include "tests/support/scenarios.h"

namespace {

namespace fs = std::filesystem;

// What a run answers when the test cannot set it up here: no mounts in a
// private mount namespace, or no other user's server folder (both need root).
const int kCannotSetUp = 99;

// Lays out the scenario's game and patch below the prefix's drive_c, and
// its key as the row says; returns the game folder's files.
FolderFiles LayOut(const Scenario& s, FakePrefix& prefix) {
  const FolderFiles before = LayOutScenario(s, prefix.DriveC());
  const RegistryValues values = {{"Installpath", s.installPath}, {"Language", s.language}};
  const std::string reg = prefix.path() + "/system.reg";
  if (s.key == Key::kMissing) prefix.WriteGameKey({});
  if (s.key == Key::kFifoRegistry && mkfifo(reg.c_str(), 0644) != 0) ADD_FAILURE() << reg;
  if (s.key == Key::kOnlySubkey) prefix.WriteGameKey({}, true, "Options");
  if (s.key == Key::kNoInstallpath) prefix.WriteGameKey({values[1]});
  if (s.key == Key::kUnreadable) MakeFolders(reg);
  if (s.key == Key::kValues || s.key == Key::kIn64BitView)
    prefix.WriteGameKey(s.registryLines.empty() ? values : RegistryValues{}, s.key == Key::kValues,
                        "", s.registryLines);
  // A 64-bit prefix whose key lies outside Wow6432Node.
  if (s.key == Key::kIn64BitView) WriteFileBytes(reg, "#arch=win64\n" + ReadFileBytes(reg));
  return before;
}

class LinuxProgram : public ::testing::TestWithParam<Scenario> {
 protected:
  ~LinuxProgram() override {
    if (serverLock_ >= 0) close(serverLock_);
  }

  std::string Game() const { return prefix_.DriveC() + "/" + GetParam().gameFolder; }

  // A Wine server running for the prefix, as Debian's Wine lays it out: the
  // prefix's file "wineserver" names the server's folder in the temporary
  // folder, which holds a folder named after the prefix's device and inode
  // with the lock the server holds while it runs. Or, where kind says, what
  // another user could have put there instead. False when the test cannot
  // plant that here.
  bool StartWineServer(Server kind) {
    struct stat info;
    EXPECT_EQ(0, stat(prefix_.path().c_str(), &info));
    char name[64];
    snprintf(name, sizeof name, "/server-%llx-%llx", (unsigned long long)info.st_dev,
             (unsigned long long)info.st_ino);
    const std::string folder = scratch_.path() + "/wine", server = folder + name;
    MakeFolders(server);
    if (kind == Server::kNameIsAFifo)
      return mkfifo((prefix_.path() + "/wineserver").c_str(), 0644) == 0;
    WriteFileBytes(prefix_.path() + "/wineserver", "wine");
    if (kind == Server::kLockIsAFifo) return mkfifo((server + "/lock").c_str(), 0600) == 0;
    serverLock_ = open((server + "/lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    EXPECT_EQ(0, lockf(serverLock_, F_TLOCK, 0));  // an fcntl lock, as the server's
    // Only root gives a folder away.
    if (kind == Server::kFolderOfAnotherUser)
      return chown(folder.c_str(), getuid() + 1, getgid()) == 0;
    return kind != Server::kFolderOpenToOthers || chmod(server.c_str(), 0777) == 0;
  }

  // Runs the program from the scenario's working folder; with a mount, in a
  // mount namespace of its own, whose game folder is copied to afterwards_
  // before the namespace goes.
  CommandResult Run(Mount mount) {
    const Scenario& s = GetParam();
    // A gigabyte of address space is ample for the sample game, and keeps a
    // block the size of a damaged member's claim from being had at all.
    // (AddressSanitizer needs far more for its shadow memory.)
    // As a player starts it who has it on PATH: the hints' commands name it so.
    std::vector<std::string> argv = {"/usr/bin/env", "patch_installer"};
#ifndef __SANITIZE_ADDRESS__
    argv.insert(argv.begin(), {"/usr/bin/prlimit", "--as=1073741824", "--"});
#endif
    if (mount != Mount::kNone) {
      // $g the game folder, $s the scratch folder. 128 KiB: the game and a
      // small new file fit, 200 KiB do not.
      const std::string setUp =
          mount == Mount::kReadOnly
              ? R"(mount --bind "$g" "$g" && mount -o remount,bind,ro "$g" "$g")"
              : R"(cp -a "$g" "$s/stash" && mount -t tmpfs -o size=128k tmpfs "$g" && )"
                R"(cp -a "$s/stash/." "$g")";
      argv.insert(argv.begin(),
                  {"/usr/bin/unshare", "--mount", "--propagation", "private", "/bin/sh", "-c",
                   "g=$1 s=$2; shift 2; (" + setUp + ") || exit " + std::to_string(kCannotSetUp) +
                       R"(; "$@"; e=$?; cp -a "$g" "$s/afterwards"; exit $e)",
                   "sh", Game(), scratch_.path()});
    }
    // The prefix as the row names it, in a home of the test's own; a bare
    // name unsets the variable.
    std::vector<std::string> environment = {"WINEPREFIX", "XDG_DATA_HOME", "HOME=" + home_,
                                            std::string("LC_ALL=") + s.locale,
                                            "LOCPATH" + (locales_.empty() ? "" : "=" + locales_)};
    const std::string given =
        WithPaths(s.prefixGiven, {{"<prefix>", prefix_.path()}, {"<home>", home_}});
    if (given.starts_with("--prefix ")) argv.insert(argv.end(), {"--prefix", given.substr(9)});
    if (!given.empty() && !given.starts_with("--prefix ")) environment.push_back(given);
    if (s.shell) argv.insert(argv.begin(), {"/bin/sh", "-c", s.shell, scratch_.path() + "/gone"});
    // The Wine server's folder, if any, in a temporary folder of the test's own.
    if (s.server != Server::kNone && !StartWineServer(s.server))
      return {kCannotSetUp, "", "", false};
    environment.push_back("TMPDIR=" + scratch_.path());
    environment.push_back(PathTo(PatchInstallerPath()));
    return RunCommand(argv, prefix_.DriveC() + "/" + s.workingFolder, environment);
  }

  FolderFiles RestOfDriveC() const {
    FolderFiles rest = FolderTree(prefix_.DriveC());
    const std::string game = GetParam().gameFolder;
    rest.erase(rest.lower_bound(game + "/"), rest.lower_bound(game + "0"));  // '0' follows '/'
    return rest;
  }

  // The folder that holds the row's locale, for LOCPATH; "" for C.UTF-8.
  const std::string locales_ =
      GetParam().locale == std::string("C.UTF-8") ? "" : CompiledLocale(GetParam().locale);
  FakePrefix prefix_{"home/.local/share/Steam/steamapps/compatdata/4711/pfx"};
  const std::string home_ = prefix_.root() + "/home";
  TempDir scratch_;
  const std::string afterwards_ = scratch_.path() + "/afterwards";
  int serverLock_ = -1;
};

TEST_P(LinuxProgram, ShowsTheBoxAndLeavesTheFilesExpected) {
  const Scenario& s = GetParam();
  if (locales_.empty() && s.locale != std::string("C.UTF-8"))
    GTEST_SKIP() << "localedef cannot compile " << s.locale << " (package locales)";
  const FolderFiles before = LayOut(s, prefix_), rest = RestOfDriveC();

  CommandResult result = Run(s.mount);
  if (result.exitCode == kCannotSetUp)
    GTEST_SKIP() << "cannot mount or plant another user's files here (needs root): " << result.err;
  // The exit code, the one box on its stream (its narrow text as the run's
  // own code page shows it) and the hints, and the game folder.
  ScopedEnvironment locale("LC_ALL", s.locale),
      locales("LOCPATH", locales_.empty() ? nullptr : locales_.c_str());
  // Where the sh line joins the streams: the box, then the hints (without
  // a hint line, find gives npos and npos + 1 is 0: nothing to split).
  const size_t hints = s.shell ? result.out.find("\npatch_installer: ") + 1 : 0;
  if (hints > 0) result.err = result.out.substr(hints), result.out.resize(hints);
  ExpectPrinted(result, s.exitCode, s.text.empty() ? "" : PrintedBox(s.caption, s.text), s.hints,
                prefix_.path(), home_);
  EXPECT_EQ(ExpectedGameFiles(s, before),
            FolderTree(s.mount == Mount::kSmallDisk ? afterwards_ : Game()));
  if (s.check != nullptr) s.check(Game());

  // A second run, refused or (with room now) patching: the game as patched.
  if (s.again == Again::kPatchedWithRoom) RestoreFolderFiles(Game(), FolderTree(afterwards_));
  const bool refused = s.again == Again::kRefused;
  if (s.again != Again::kNever) {
    ExpectPrinted(
        Run(Mount::kNone), refused ? 255 : 0,
        refused ? PrintedBox("ERROR", kTooOldText) : PrintedBox(kTitle, EnglishSummary()));
    EXPECT_EQ(StoppedGameFiles(s, before, 4, false), FolderTree(Game()));
  }
  // Nothing else in drive_c changes.
  EXPECT_EQ(rest, RestOfDriveC()) << "a run changed drive_c outside the game folder";
}

INSTANTIATE_TEST_SUITE_P(Scenarios, LinuxProgram, ::testing::ValuesIn(Scenarios()),
                         [](const auto& info) { return std::string(info.param.name); });

// Runs stopped by strace, on the English game (or another scenario's) in a
// prefix of their own.
class StoppedLinuxProgram : public ::testing::Test {
 protected:
  void SetUp() override {
    if (RunCommand({kStrace, "-o", "/dev/null", "/bin/true"}, "/").exitCode != 0)
      GTEST_SKIP() << kStrace << " cannot trace here (scripts/setup.sh installs strace)";
  }
  const std::string kStrace = "/usr/bin/strace";
  FakePrefix prefix_;
  const std::string game_ = prefix_.DriveC() + "/Games/GHR", patch_ = prefix_.DriveC() + "/Patch";
  // The sanitizers' leak check traces the process itself at its end.
  const std::vector<std::string> environment_ = {"WINEPREFIX=" + prefix_.path(), "LC_ALL=C.UTF-8",
                                                 "ASAN_OPTIONS=detect_leaks=0"};
};

// strace stops the program at one step of putting a file in place: a
// SIGKILL at each rename and at the folder's flush after the last one, a
// rename that fails. No game file is ever missing (a new one whose rename
// failed stays whole under its temporary name), and the next run completes
// the patch and leaves nothing else.
TEST_F(StoppedLinuxProgram, NeverLosesAGameFileAndTheNextRunCompletes) {
  // The scenario, what strace injects, the exit code (-1: killed), the game
  // file it stopped at (4: after all), and whether that file's new bytes
  // are left under its temporary name.
  const std::string renames = "rename,renameat,renameat2:";
  std::vector<std::tuple<std::string, std::string, int, int, bool>> rows = {
      {"English", "fsync:signal=KILL:when=5", -1, 4, false},
      {"English", renames + "error=EIO:when=2", 255, 1, false},
      {"GermanEdition", renames + "error=EIO:when=1", 255, 0, true}};
  for (int when = 1; when <= 4; ++when)  // killed at each rename
    rows.push_back(
        {"English", renames + "signal=KILL:when=" + std::to_string(when), -1, when - 1, true});
  for (const auto& [scenario, inject, exitCode, stopped, temporaryLeft] : rows) {
    SCOPED_TRACE(scenario + " " + inject);
    const Scenario& s = ScenarioNamed(scenario);
    const FolderFiles before = LayOut(s, prefix_);
    const CommandResult run = RunCommand(
        {kStrace, "-f", "-o", "/dev/null", "-e", "inject=" + inject, PatchInstallerPath()}, patch_,
        environment_);
    if (exitCode == 255) ExpectPrinted(run, 255, PrintedBox("ERROR", CannotWriteText(s, stopped)));
    EXPECT_EQ(exitCode, run.exitCode) << run.err;
    EXPECT_EQ(StoppedGameFiles(s, before, stopped, temporaryLeft), FolderTree(game_));

    const bool refused = stopped == 4;  // the game reads as v1.2 now
    ExpectPrinted(RunCommand({PatchInstallerPath()}, patch_, environment_), refused ? 255 : 0,
                  refused ? PrintedBox("ERROR", kTooOldText) : PrintedBox(s.caption, s.text));
    EXPECT_EQ(StoppedGameFiles(s, before, 4, false), FolderTree(game_));
  }
}

// The Windows program under Wine holds its run as a lock on one byte 1 TiB
// into Game.cod, which Wine keeps as an fcntl lock on the host file: a
// Linux run waits while another process holds that byte, then patches.
TEST_F(StoppedLinuxProgram, WaitsWhileTheWindowsProgramHoldsTheGame) {
  const Scenario& s = ScenarioNamed("English");
  const FolderFiles before = LayOut(s, prefix_);
  const int archive = open((game_ + "/Game.cod").c_str(), O_RDWR | O_CLOEXEC);
  struct flock lock = {};
  lock.l_type = F_WRLCK;
  lock.l_start = off_t(1) << 40;
  lock.l_len = 1;
  ASSERT_EQ(0, fcntl(archive, F_SETLK, &lock));
  TempDir outputs;
  ChildProcess run({PatchInstallerPath()}, patch_, environment_, outputs.path() + "/out",
                   outputs.path() + "/err");
  const std::string waiting =
      "patch_installer: another run is patching the game in " + game_ + "; waiting for it to end\n";
  int exitCode = -1;
  const std::string err = outputs.path() + "/err";
  for (int i = 0; i < 3000 && !run.Ended(&exitCode); ++i, usleep(10000))
    if (FileExists(err) && ReadFileBytes(err).find(waiting) != std::string::npos) break;
  EXPECT_EQ(waiting, ReadFileBytes(err));
  EXPECT_EQ(before, FolderTree(game_));
  close(archive);
  EXPECT_TRUE(run.WaitForEnd(30, &exitCode));
  EXPECT_EQ(0, exitCode);
  EXPECT_EQ(PrintedBox(s.caption, s.text), ReadFileBytes(outputs.path() + "/out"));
  EXPECT_EQ(StoppedGameFiles(s, before, 4, false), FolderTree(game_));
}

// A run moves into place only the file it wrote: another program puts a
// file of its own under the new file's name between the write and the
// rename (strace stops the run after the flush of its first new file).
// The run leaves that file alone and ends with the box for that game file,
// which stays as it was.
TEST_F(StoppedLinuxProgram, MovesOnlyTheFileItWrote) {
  const Scenario& s = ScenarioNamed("English");
  const FolderFiles before = LayOut(s, prefix_);
  TempDir outputs;
  const std::string trace = outputs.path() + "/trace";
  ChildProcess run({kStrace, "-f", "-o", trace, "-e", "trace=fsync", "-e",
                    "inject=fsync:signal=STOP:when=1", PatchInstallerPath()},
                   patch_, environment_, outputs.path() + "/out", outputs.path() + "/err");
  int exitCode = -1;
  for (int i = 0; i < 3000 && !run.Ended(&exitCode); ++i, usleep(10000))
    if (FileExists(trace) && ReadFileBytes(trace).find("stopped by SIGSTOP") != std::string::npos)
      break;
  ASSERT_NE(std::string::npos, ReadFileBytes(trace).find("stopped by SIGSTOP"));
  WriteFileBytes(outputs.path() + "/planted", "planted");
  fs::rename(outputs.path() + "/planted", game_ + "/Gravelhorn_d3d.exe.tmp");
  kill(std::stoi(ReadFileBytes(trace)), SIGCONT);
  EXPECT_TRUE(run.WaitForEnd(30, &exitCode));
  EXPECT_EQ(255, exitCode);
  EXPECT_EQ(PrintedBox("ERROR", CannotWriteText(s, 0)),
            ReadFileBytes(outputs.path() + "/err")
                .substr(0, PrintedBox("ERROR", CannotWriteText(s, 0)).size()));
  FolderFiles expected = before;
  expected["Gravelhorn_d3d.exe.tmp"] = "planted";
  EXPECT_EQ(expected, FolderTree(game_));
}

// Two runs on one game take turns. The first is stopped between writing its
// first new file and renaming it (strace stops it after that file's flush);
// a second run started meanwhile waits for it, says so, and is interrupted.
// The first then completes, its box shown, and waits at its very end: a
// third run does not wait for it (the game is let go of before the box, so
// a box left open holds up no one), and finds the patch applied.
TEST_F(StoppedLinuxProgram, TwoRunsOnOneGameTakeTurns) {
  const Scenario& s = ScenarioNamed("English");
  const FolderFiles before = LayOut(s, prefix_);
  TempDir outputs;
  auto file = [&](const std::string& name) { return outputs.path() + "/" + name; };
  auto start = [&](const std::vector<std::string>& argv, const std::string& name) {
    return ChildProcess(argv, patch_, environment_, file(name + ".out"), file(name + ".err"));
  };
  // Waits up to half a minute for text in the file name; false when it does
  // not come, or when the process ends first.
  auto waitFor = [&](const std::string& name, const std::string& text, ChildProcess& process) {
    for (int i = 0, exitCode; i < 3000 && !process.Ended(&exitCode); ++i, usleep(10000))
      if (FileExists(file(name)) && ReadFileBytes(file(name)).find(text) != std::string::npos)
        return true;
    return false;
  };
  const std::string waiting =
      "patch_installer: another run is patching the game in " + game_ + "; waiting for it to end\n";

  auto first = start({kStrace, "-f", "-o", file("trace"), "-e", "trace=fsync,exit_group", "-e",
                      "inject=fsync:signal=STOP:when=1", "-e",
                      "inject=exit_group:delay_enter=600000000", PatchInstallerPath()},
                     "first");
  ASSERT_TRUE(waitFor("trace", "stopped by SIGSTOP", first)) << ReadFileBytes(file("first.err"));
  const pid_t held = std::stoi(ReadFileBytes(file("trace")));
  auto second = start({PatchInstallerPath()}, "second");
  EXPECT_TRUE(waitFor("second.err", waiting, second)) << ReadFileBytes(file("second.err"));
  kill(second.pid(), SIGINT);
  int exitCode = 0;
  EXPECT_TRUE(second.WaitForEnd(30, &exitCode));
  EXPECT_EQ(-1, exitCode);
  second.Kill();  // if it did not end
  kill(held, SIGCONT);
  ASSERT_TRUE(waitFor("trace", "exit_group(", first));
  EXPECT_EQ(PrintedBox(s.caption, s.text), ReadFileBytes(file("first.out")));
  EXPECT_EQ(StoppedGameFiles(s, before, 4, false), FolderTree(game_));

  auto third = start({PatchInstallerPath()}, "third");
  EXPECT_TRUE(third.WaitForEnd(30, &exitCode));
  ExpectPrinted(
      {exitCode, ReadFileBytes(file("third.out")), ReadFileBytes(file("third.err")), false}, 255,
      PrintedBox("ERROR", kTooOldText));
  kill(held, SIGKILL);
  first.Kill();  // strace lets go of it: it ends, killed
  EXPECT_EQ(StoppedGameFiles(s, before, 4, false), FolderTree(game_));
}

}  // namespace
