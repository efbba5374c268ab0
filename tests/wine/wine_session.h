// A Wine prefix and a private X display for running the Windows program:
// the prefix is made once with wineboot, the game's registry values are
// written with Wine's own reg command, and every message box the program
// shows is read (caption from the X window, text from Wine's msgbox trace),
// photographed and dismissed by a click on OK. The Wine tier's one test program
// includes it.
#ifndef GRAVELHORN_TESTS_WINE_WINE_SESSION_H_
#define GRAVELHORN_TESTS_WINE_WINE_SESSION_H_

#include <stdlib.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <iostream>
#include <memory>
#include <regex>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "platform/code_page.h"
#include "tests/support/test_support.h"

// The programs the session needs: wine64, wineserver, Xvfb, xdotool and
// ImageMagick's screenshot command, import.
struct WineTools {
  std::string wine, wineserver, xvfb, xdotool, import;
};

// Finds the tools in PATH's folders, then in /usr/lib/wine (where Debian
// puts wine64 and wineserver). Returns an empty string when all are there,
// otherwise the names of the missing ones.
inline std::string FindWineTools(WineTools* tools) {
  std::string missing;
  auto find = [&missing](const char* name) {
    const char* path = getenv("PATH");
    std::istringstream folders((path != nullptr ? path : "") + std::string(":/usr/lib/wine"));
    for (std::string folder; std::getline(folders, folder, ':');) {
      const std::string candidate = (folder.empty() ? "." : folder) + "/" + name;
      if (access(candidate.c_str(), X_OK) == 0) return candidate;
    }
    missing += (missing.empty() ? "" : ", ") + std::string(name);
    return std::string();
  };
  // A braced list is evaluated in order: the names come in this order.
  *tools = {find("wine64"), find("wineserver"), find("Xvfb"), find("xdotool"), find("import")};
  return missing;
}

// Follows a box text that Wine's trace shows only the start of.
inline const std::string kCutShort("\0...", 4);

struct WindowsRun {
  int exitCode = -1;  // 255 for the program's -1
  // Each box as the user saw it, "caption|text" (no caption holds "|"), in
  // the ANSI code page of the session's locale, LC_ALL=C.UTF-8 (1252),
  // which the test runs in too.
  std::vector<std::string> boxes;
  std::string wineOutput;  // Wine's traces and the program's standard error
};

class WineSession {
 public:
  // Starts Xvfb on a free display and makes a fresh prefix in folder/prefix,
  // or copies madePrefix there (one that SavePrefix kept), which takes a
  // second where making one takes half a minute. Throws std::runtime_error
  // saying which step failed.
  WineSession(const WineTools& tools, const std::string& folder, const std::string& madePrefix)
      : WineSession(tools, folder) {  // a throw from here on runs ~WineSession
    if (!madePrefix.empty()) {
      CopyPrefix(madePrefix, prefix_, Home());
      return;
    }
    Must({tools_.wine, "wineboot", "-i"}, false, kPrefixSeconds);
    // No window manager runs on the display: Wine draws the boxes' captions
    // itself, and does not wait for a manager to withdraw each closed box.
    for (const char* setting : {"Decorated", "Managed"})
      Must({tools_.wine, "reg", "add", "HKCU\\Software\\Wine\\X11 Driver", "/v", setting, "/t",
            "REG_SZ", "/d", "N", "/f"});
  }
  // Ends the prefix's wineserver and Xvfb, and removes folder.
  ~WineSession() {
    RunCommand({tools_.wineserver, "-k"}, folder_, Environment("-all"), kCommandSeconds);
    xvfb_->Terminate(5);
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
  }

  // Ends the wineserver and moves the prefix, as yet unused, to path for
  // other sessions to copy; this session has no prefix afterwards.
  void SavePrefix(const std::string& path) {
    EndWineServer();
    std::filesystem::remove_all(path);
    std::filesystem::rename(prefix_, path);
  }

  const std::string& prefix() const { return prefix_; }
  std::string Home() const { return folder_ + "/home"; }  // HOME of every run
  std::string DriveC() const { return prefix_ + "/drive_c"; }

  // Replaces the game's key, HKLM\Software\Quillfern\GHR in the 32-bit
  // view, with one holding these string values (UTF-8) and, if named, an
  // empty subkey; with neither, there is no key. Deleting it fails when
  // there is none, which is as good.
  void SetGameKey(const std::vector<std::pair<std::string, std::string>>& values,
                  const std::string& subkey = "") {
    Must({tools_.wine, "reg", "delete", kGameKey, "/f", "/reg:32"}, true);
    if (!subkey.empty())
      Must({tools_.wine, "reg", "add", kGameKey + ("\\" + subkey), "/f", "/reg:32"});
    for (const auto& [name, value] : values)
      Must({tools_.wine, "reg", "add", kGameKey, "/v", name, "/t", "REG_SZ", "/d", value, "/f",
            "/reg:32"});
  }
  // Ends the prefix's wineserver and with it every Wine process of the
  // prefix, and waits until it has gone (-k alone does not wait). The
  // server writes the registry to system.reg on its way out, so that the
  // Linux program then reads what Wine holds, and the next Wine command
  // starts a server of its own instead of meeting the one going away.
  void EndWineServer() {
    Must({tools_.wineserver, "-k"}, true);
    Must({tools_.wineserver, "-w"}, true);
  }

  // Runs exe and its arguments under Wine with workingDirectory as its
  // current folder and NAME=VALUE pairs of environment added to the
  // session's (or in place of its WINEDLLOVERRIDES=mscoree,mshtml= and
  // WINEDEBUG=fixme-all,+msgbox, which reads the box texts), waits
  // for each box, saves its screenshot as screenshotBase.png (-2.png, ...
  // for later boxes) and clicks its OK button. Throws when the program
  // neither shows another box nor ends within 180 seconds (after ending it),
  // or when the box windows seen and the texts Wine traced do not pair up.
  // With keepOpenWhile, a box is left open while that file exists.
  WindowsRun Run(const std::string& exe, const std::string& workingDirectory,
                 const std::string& screenshotBase, const std::vector<std::string>& arguments = {},
                 const std::vector<std::string>& environment = {},
                 const std::string& keepOpenWhile = "") {
    const std::string log = folder_ + "/run" + std::to_string(++runs_) + ".log";
    std::vector<std::string> argv = {tools_.wine, exe};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    ChildProcess program(argv, workingDirectory, Environment("fixme-all,+msgbox", environment),
                         "/dev/null", log);
    std::vector<std::string> captions;
    std::map<std::string, Clock::time_point> clicked;  // by window
    auto deadline = Clock::now() + kBoxWait;
    WindowsRun run;
    try {
      while (!program.Ended(&run.exitCode)) {
        if (Clock::now() >= deadline)
          throw std::runtime_error(exe + " showed no further box and did not end in time (its " +
                                   "windows, shown or not:" + WindowsOf(program.pid()) +
                                   "); Wine's output:\n" + Tail(ReadFileBytes(log)));
        // The program's visible windows (xdotool fails when there is none).
        std::istringstream windows(Must(
            {tools_.xdotool, "search", "--onlyvisible", "--pid", std::to_string(program.pid())},
            true));
        for (std::string window; windows >> window;) {
          auto pressed = clicked.find(window);
          if (pressed == clicked.end()) {
            // A box is mapped before it has painted itself. A window gone
            // by then is passed over; were it a box, the run's trace shows
            // one box more than were seen, and the run fails below.
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            const CommandResult named = RunCommand({tools_.xdotool, "getwindowname", window},
                                                   folder_, Environment("-all"), kXSeconds);
            if (named.exitCode != 0 && named.err.find("BadWindow") != std::string::npos) continue;
            if (named.exitCode != 0 || named.timedOut)
              throw std::runtime_error("xdotool getwindowname " + window + " failed: " + named.err);
            const std::string& name = named.out;
            // What Wine showed, as the program's narrow bytes.
            if (!HostToNarrow(name.substr(0, name.find('\n')), &captions.emplace_back()))
              throw std::runtime_error("a box caption outside the ANSI code page: " + name);
            std::string suffix = captions.size() > 1 ? "-" + std::to_string(captions.size()) : "";
            Must({tools_.import, "-window", window, screenshotBase + suffix + ".png"});
            deadline = Clock::now() + kBoxWait;
          } else if (Clock::now() - pressed->second < kClickRepeat) {
            continue;
          }
          if (!keepOpenWhile.empty() && FileExists(keepOpenWhile)) {
            clicked[window] = Clock::now();  // looked at, not clicked
            continue;
          }
          // A real click (XTEST) on the box's one button, OK, with the box
          // raised first. Wine routes a key to the window it holds active,
          // which, where two runs' boxes are up at once, may be the other
          // box (seen: Return pressed on one box closing the other, and
          // Return never reaching a box that had been given the X focus),
          // and a key sent to the window as an X event leaves Wine believing
          // it is still held. A click goes to the window under the pointer.
          // The box may be gone by the time the click arrives: the run's end
          // is what counts.
          const std::string geometry = Must({tools_.xdotool, "getwindowgeometry", window}, true);
          std::smatch size;
          if (std::regex_search(geometry, size, std::regex(R"(Geometry: (\d+)x(\d+))"))) {
            const int width = std::stoi(size[1]), height = std::stoi(size[2]);
            Must({tools_.xdotool, "windowraise", window, "mousemove", "--window", window,
                  std::to_string(width / 2), std::to_string(height - kOkButtonFromBottom), "click",
                  "1"},
                 true);
          }
          clicked[window] = Clock::now();
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
      }
    } catch (...) {
      program.Kill();
      EndWineServer();
      throw;
    }
    run.wineOutput = ReadFileBytes(log);
    std::vector<std::string> texts = MessageBoxTextsFromTrace(run.wineOutput);
    if (texts.size() != captions.size())
      throw std::runtime_error(exe + ": " + std::to_string(captions.size()) + " boxes, but " +
                               std::to_string(texts.size()) + " traced:\n" + Tail(run.wineOutput));
    for (size_t i = 0; i < texts.size(); ++i) run.boxes.push_back(captions[i] + "|" + texts[i]);
    return run;
  }

  // The end of a long text, for a message.
  static std::string Tail(const std::string& text, size_t count = 2000) {
    return text.size() <= count ? text : "..." + text.substr(text.size() - count);
  }

  // Every window of the process pid, shown or not, with its name.
  std::string WindowsOf(pid_t pid) const {
    std::istringstream windows(
        Must({tools_.xdotool, "search", "--pid", std::to_string(pid)}, true));
    std::string list;
    for (std::string window; windows >> window;)
      list += " " + window + " '" + Must({tools_.xdotool, "getwindowname", window}, true) + "'";
    return list;
  }

  // Runs a console program, exe and its arguments, under Wine in
  // workingDirectory with its output in files, NAME=VALUE pairs of
  // environment added; with onTerminal, on a terminal of its own (script),
  // which Wine makes the program's console.
  CommandResult RunConsole(const std::vector<std::string>& arguments,
                           const std::string& workingDirectory, bool onTerminal = false,
                           const std::vector<std::string>& environment = {}) {
    std::vector<std::string> argv = {tools_.wine};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    if (onTerminal) {
      std::string line;  // each argument quoted for the shell
      for (const std::string& argument : argv)
        line += " '" + std::regex_replace(argument, std::regex("'"), "'\\''") + "'";
      argv = {"/usr/bin/script", "-qec", line, "/dev/null"};
    }
    CommandResult result =
        RunCommand(argv, workingDirectory, Environment("-all", environment), kCommandSeconds);
    // A Wine service that the run's wineserver started shares the run's
    // standard error; its crash report is not the program's output. The
    // program's own crash shows in its exit code.
    static const std::regex otherCrash("wine: Unhandled [^\n]*starting debugger\\.\\.\\.\n");
    for (std::smatch found; std::regex_search(result.err, found, otherCrash);) {
      std::cerr << "(Wine beside the run: " << found.str() << ")";
      result.err.erase(found.position(), found.length());
    }
    return result;
  }

 private:
  using Clock = std::chrono::steady_clock;
  static constexpr char kGameKey[] = "HKLM\\Software\\Quillfern\\GHR";
  // Bounds, far above what each step takes, for a machine under load.
  static constexpr double kPrefixSeconds = 300, kCommandSeconds = 120, kXSeconds = 30;
  // A run may wait a minute for another before its first box.
  static constexpr auto kBoxWait = std::chrono::seconds(180);
  // Where a box's OK button is, centred, its middle this far above the
  // box's lower edge (measured on the tier's screenshots: the button runs
  // from 37 to 12 pixels above it, with Wine's default theme and font).
  static constexpr int kOkButtonFromBottom = 24;
  // A box still there this long after its click gets another.
  static constexpr auto kClickRepeat = std::chrono::seconds(5);

  // The session's folder and Xvfb, started on a free display.
  WineSession(const WineTools& tools, const std::string& folder)
      : tools_(tools), folder_(folder), prefix_(folder + "/prefix") {
    std::filesystem::remove_all(folder_);
    MakeFolders(Home());
    // -displayfd picks a free display and writes its number once it is ready.
    // -noreset: by default the server resets whenever its last client
    // leaves, and a client connecting meanwhile is dropped. With xdotool
    // calls coming and going, that failed about one connection in thirty
    // (measured), among them a run's desktop process: no driver, no box.
    const std::string displayFile = folder_ + "/xvfb.display";
    xvfb_.reset(new ChildProcess({tools_.xvfb, "-displayfd", "1", "-screen", "0", "1024x768x24",
                                  "-nolisten", "tcp", "-noreset"},
                                 folder_, {}, displayFile, folder_ + "/xvfb.log"));
    const auto deadline = Clock::now() + std::chrono::duration<double>(kXSeconds);
    std::string number;
    for (int exitCode; (number = ReadIfThere(displayFile)).find('\n') == std::string::npos;) {
      if (xvfb_->Ended(&exitCode) || Clock::now() >= deadline)
        throw std::runtime_error("Xvfb did not start: " + Tail(ReadIfThere(folder_ + "/xvfb.log")));
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    display_ = ":" + number.substr(0, number.find('\n'));
  }

  // A file the child may not have made yet reads as empty.
  static std::string ReadIfThere(const std::string& path) {
    return FileExists(path) ? ReadFileBytes(path) : std::string();
  }

  // With WINEDEBUG=+msgbox, Wine writes one line per box as the box is set up:
  //   0024:trace:msgbox:MSGBOX_OnInit L"Path:\t C:\\Games\\ \00e9t\00e9"
  // The text is quoted with \n, \r, \t, \" and \\ escaped and every other
  // character outside printable ASCII as a backslash and four hex digits of
  // its UTF-16 code unit. A text too long for the trace ends in '"...'.
  // Returns each box's text as narrow text in the ANSI code page, a cut one
  // followed by kCutShort; throws, naming the line, for a line it cannot
  // decode.
  static std::vector<std::string> MessageBoxTextsFromTrace(const std::string& trace) {
    // A character of the text: an escaped one, one by its code unit, a plain one.
    static const std::regex piece(R"(\\([nrt"\\])|\\([0-9a-fA-F]{4})|([^"\\]))");
    const auto kHere = std::regex_constants::match_continuous;  // a piece right at the start
    const std::string marker = ":MSGBOX_OnInit L\"";
    std::vector<std::string> texts;
    std::istringstream lines(trace);
    for (std::string line; std::getline(lines, line);) {
      if (line.find(marker) == std::string::npos) continue;
      std::u16string text;
      auto at = line.cbegin() + line.find(marker) + marker.size();
      for (std::smatch m; std::regex_search(at, line.cend(), m, piece, kHere); at = m[0].second)
        text += m[1].matched   ? u"\n\r\t\"\\"[std::string("nrt\"\\").find(m.str(1))]
                : m[2].matched ? char16_t(std::stoul(m.str(2), nullptr, 16))
                               : char16_t(static_cast<unsigned char>(m.str(3)[0]));
      // The text ends at its closing quote, whole, or cut short ("..." after it).
      if (at == line.cend() || *at != '"')
        throw std::runtime_error("cannot decode the box trace: " + line);
      const bool cut = std::string(at, line.cend()).rfind("\"...", 0) == 0;
      texts.push_back(WideToNarrow(text) + (cut ? kCutShort : ""));
    }
    return texts;
  }

  // Copies a prefix that no wineserver runs for. Wine's system files, which
  // it only reads, become hard links (they are 700 MB); the rest is copied,
  // and the user's folders that Wine linked to the old HOME lead to home.
  static void CopyPrefix(const std::string& from, const std::string& to, const std::string& home) {
    namespace fs = std::filesystem;
    fs::copy(from, to,
             fs::copy_options::recursive | fs::copy_options::copy_symlinks |
                 fs::copy_options::create_hard_links);
    static const std::regex readOnly(R"(\.(dll|exe|sys|drv|ocx|acm|cpl|tlb|nls|ds|com|msstyles)$)");
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(from)) {
      const fs::path copy = to / entry.path().lexically_relative(from);
      if (entry.is_symlink() && copy.string().find("/drive_c/users/") != std::string::npos &&
          fs::read_symlink(entry.path()).is_absolute()) {
        fs::remove(copy);
        fs::create_directory_symlink(home, copy);
      } else if (!entry.is_symlink() && entry.is_regular_file() &&
                 !std::regex_search(entry.path().filename().string(), readOnly)) {
        fs::remove(copy);  // the hard link, not the file it shares with from
        fs::copy_file(entry.path(), copy);
      }
    }
  }

  // The environment of a Wine command: the locale fixes Wine's ANSI code
  // page; HOME keeps Wine out of the user's own folders. Then more, which
  // the child sets later and so wins.
  std::vector<std::string> Environment(const std::string& debugChannels,
                                       std::vector<std::string> more = {}) const {
    more.insert(more.begin(), {"WINEPREFIX=" + prefix_, "WINEDLLOVERRIDES=mscoree,mshtml=",
                               "WINEDEBUG=" + debugChannels, "DISPLAY=" + display_, "LANG=C.UTF-8",
                               "LC_ALL=C.UTF-8", "HOME=" + Home()});
    return more;
  }
  // A command (wine64, wineserver, xdotool, import) in the session's folder
  // and environment; returns its output, and throws when it does not end in
  // time or, unless it mayFail, fails.
  std::string Must(const std::vector<std::string>& argv, bool mayFail = false,
                   double timeoutSeconds = kCommandSeconds) const {
    const CommandResult result = RunCommand(argv, folder_, Environment("-all"), timeoutSeconds);
    if (result.timedOut || (result.exitCode != 0 && !mayFail))
      throw std::runtime_error(CommandLine(argv) + (result.timedOut ? " timed out" : " failed") +
                               " (" + std::to_string(result.exitCode) +
                               "): " + Tail(result.out + result.err));
    return result.out;
  }

  WineTools tools_;
  std::string folder_, prefix_, display_;
  std::unique_ptr<ChildProcess> xvfb_;
  std::atomic<int> runs_ = 0;  // two runs may be started from two threads
};

#endif  // GRAVELHORN_TESTS_WINE_WINE_SESSION_H_
