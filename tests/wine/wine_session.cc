#include "tests/wine/wine_session.h"

#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <set>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "platform/code_page.h"
#include "tests/support/test_support.h"

namespace {

using Clock = std::chrono::steady_clock;

const char kGameKey[] = "HKLM\\Software\\Quillfern\\GHR";
// Bounds, far above what each step takes, for a machine under load.
const double kPrefixSeconds = 300, kCommandSeconds = 120, kXSeconds = 30;
const auto kBoxWait = std::chrono::seconds(60);
// A box still there this long after Return gets Return again.
const auto kReturnRepeat = std::chrono::seconds(5);

// The first of PATH's folders, then /usr/lib/wine (where Debian puts wine64
// and wineserver), that holds an executable name; "" when none does.
std::string FindProgram(const std::string& name) {
  const char* path = getenv("PATH");
  std::istringstream folders((path != nullptr ? path : "") + std::string(":/usr/lib/wine"));
  for (std::string folder; std::getline(folders, folder, ':');) {
    const std::string candidate = (folder.empty() ? "." : folder) + "/" + name;
    if (access(candidate.c_str(), X_OK) == 0) return candidate;
  }
  return "";
}

std::string Tail(const std::string& text, size_t count = 2000) {
  return text.size() <= count ? text : "..." + text.substr(text.size() - count);
}

// A file the child may not have made yet reads as empty.
std::string ReadIfThere(const std::string& path) {
  return FileExists(path) ? ReadFileBytes(path) : std::string();
}

std::string WithoutFinalNewline(std::string text) {
  if (!text.empty() && text.back() == '\n') text.pop_back();
  return text;
}

// With WINEDEBUG=+msgbox, Wine writes one line per box as the box is set up:
//   0024:trace:msgbox:MSGBOX_OnInit L"Path:\t C:\\Games\\ \00e9t\00e9"
// The text is quoted with \n, \r, \t, \" and \\ escaped and every other
// character outside printable ASCII as a backslash and four hex digits of
// its UTF-16 code unit. A text too long for the trace ends in '"...'.
// Returns each box's text as narrow text in the ANSI code page; throws,
// naming the line, for a line it cannot decode whole.
std::vector<std::string> MessageBoxTextsFromTrace(const std::string& trace) {
  const std::string marker = ":MSGBOX_OnInit L\"";
  std::vector<std::string> texts;
  std::istringstream lines(trace);
  for (std::string line; std::getline(lines, line);) {
    size_t at = line.find(marker);
    if (at == std::string::npos) continue;
    auto undecodable = [&line](const char* why) {
      return std::runtime_error(std::string("cannot decode the box trace (") + why + "): " + line);
    };
    std::u16string text;
    for (at += marker.size();; ++at) {
      if (at >= line.size()) throw undecodable("no closing quote");
      const char c = line[at];
      if (c == '"') break;
      const size_t escape = std::string("nrt\"\\").find(line[at + 1]);
      if (c != '\\' || at + 1 >= line.size()) {
        text += char16_t(static_cast<unsigned char>(c));
      } else if (escape != std::string::npos) {
        text += u"\n\r\t\"\\"[escape];
        ++at;
      } else {
        size_t digits = 0;
        text += char16_t(std::stoul(line.substr(at + 1, 4), &digits, 16));
        if (digits != 4) throw undecodable("bad escape");
        at += 4;
      }
    }
    if (line.compare(at + 1, 3, "...") == 0) throw undecodable("text cut short");
    texts.push_back(WideToNarrow(text));
  }
  return texts;
}

// Copies a prefix that no wineserver runs for. Wine's system files, which
// it only reads, become hard links (they are 700 MB); the rest is copied,
// and the user's folders that Wine linked to the old HOME lead to home.
void CopyPrefix(const std::string& from, const std::string& to, const std::string& home) {
  namespace fs = std::filesystem;
  fs::copy(from, to,
           fs::copy_options::recursive | fs::copy_options::copy_symlinks |
               fs::copy_options::create_hard_links);
  const std::set<std::string> readOnly = {".dll", ".exe", ".sys", ".drv", ".ocx", ".acm",
                                          ".cpl", ".tlb", ".nls", ".ds",  ".com", ".msstyles"};
  std::vector<fs::path> copied, homeLinks;
  for (const fs::directory_entry& entry : fs::recursive_directory_iterator(to)) {
    const std::string path = entry.path().string();
    if (entry.is_symlink() && path.find("/drive_c/users/") != std::string::npos &&
        fs::read_symlink(entry.path()).is_absolute())
      homeLinks.push_back(entry.path());
    else if (!entry.is_symlink() && entry.is_regular_file() &&
             !readOnly.count(entry.path().extension().string()))
      copied.push_back(entry.path());
  }
  for (const fs::path& file : copied) {
    fs::path copy = file.string() + ".copy";
    fs::copy_file(file, copy);
    fs::rename(copy, file);
  }
  for (const fs::path& link : homeLinks) {
    fs::remove(link);
    fs::create_directory_symlink(home, link);
  }
}

}  // namespace

std::string FindWineTools(WineTools* tools) {
  std::string missing;
  auto find = [&missing](const char* name) {
    const std::string path = FindProgram(name);
    if (path.empty()) missing += (missing.empty() ? "" : ", ") + std::string(name);
    return path;
  };
  // A braced list is evaluated in order: the names come in this order.
  *tools = {find("wine64"), find("wineserver"), find("Xvfb"), find("xdotool"), find("import")};
  return missing;
}

WineSession::WineSession(const WineTools& tools, const std::string& folder,
                         const std::string& madePrefix)
    : tools_(tools), folder_(folder), prefix_(folder + "/prefix") {
  std::filesystem::remove_all(folder_);
  MakeFolders(folder_ + "/home");

  // -displayfd picks a free display and writes its number once it is ready.
  const std::string displayFile = folder_ + "/xvfb.display";
  xvfb_.reset(new ChildProcess(
      {tools_.xvfb, "-displayfd", "1", "-screen", "0", "1024x768x24", "-nolisten", "tcp"}, folder_,
      {}, displayFile, folder_ + "/xvfb.log"));
  const auto deadline = Clock::now() + std::chrono::duration<double>(kXSeconds);
  std::string number;
  while ((number = ReadIfThere(displayFile)).find('\n') == std::string::npos) {
    int exitCode;
    if (xvfb_->Ended(&exitCode) || Clock::now() >= deadline)
      throw std::runtime_error("Xvfb did not start: " + Tail(ReadIfThere(folder_ + "/xvfb.log")));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  display_ = ":" + WithoutFinalNewline(number);

  if (!madePrefix.empty()) {
    try {
      CopyPrefix(madePrefix, prefix_, Home());
    } catch (const std::exception& error) {
      throw std::runtime_error("cannot copy the prefix " + madePrefix + ": " + error.what());
    }
    return;
  }
  try {
    Wine({"wineboot", "-i"}, kPrefixSeconds);
    // No window manager runs on the display: Wine draws the boxes' captions
    // itself, and does not wait for a manager to withdraw each closed box.
    for (const char* setting : {"Decorated", "Managed"})
      Wine({"reg", "add", "HKCU\\Software\\Wine\\X11 Driver", "/v", setting, "/t", "REG_SZ", "/d",
            "N", "/f"},
           kCommandSeconds);
  } catch (...) {
    EndWineServer();
    throw;  // Xvfb ends with xvfb_
  }
}

WineSession::~WineSession() {
  RunCommand({tools_.wineserver, "-k"}, folder_, Environment("-all"), kCommandSeconds);
  xvfb_->Terminate(5);
  std::error_code ignored;
  std::filesystem::remove_all(folder_, ignored);
}

std::vector<std::string> WineSession::Environment(const std::string& debugChannels,
                                                  const std::string& dllOverrides) const {
  // The locale fixes Wine's ANSI code page; HOME keeps Wine out of the
  // user's own folders.
  return {"WINEPREFIX=" + prefix_,
          "WINEDLLOVERRIDES=mscoree,mshtml=" + (dllOverrides.empty() ? "" : ";" + dllOverrides),
          "WINEDEBUG=" + debugChannels,
          "DISPLAY=" + display_,
          "LANG=C.UTF-8",
          "LC_ALL=C.UTF-8",
          "HOME=" + Home()};
}

void WineSession::Wine(const std::vector<std::string>& arguments, double timeoutSeconds,
                       bool mayFail) {
  std::vector<std::string> argv = {tools_.wine};
  argv.insert(argv.end(), arguments.begin(), arguments.end());
  CommandResult result = RunCommand(argv, folder_, Environment("fixme-all"), timeoutSeconds);
  if (result.timedOut)
    throw std::runtime_error(CommandLine(argv) + " did not end within " +
                             std::to_string(static_cast<int>(timeoutSeconds)) + " s");
  if (result.exitCode != 0 && !mayFail)
    throw std::runtime_error(CommandLine(argv) + " failed with exit code " +
                             std::to_string(result.exitCode) + ": " +
                             Tail(result.out + result.err));
}

void WineSession::SetGameKey(const std::vector<std::pair<std::string, std::string>>& values,
                             const std::string& subkey) {
  DeleteGameKey();
  if (!subkey.empty())
    Wine({"reg", "add", std::string(kGameKey) + "\\" + subkey, "/f", "/reg:32"}, kCommandSeconds);
  for (const auto& [name, value] : values)
    Wine({"reg", "add", kGameKey, "/v", name, "/t", "REG_SZ", "/d", value, "/f", "/reg:32"},
         kCommandSeconds);
}

void WineSession::SavePrefix(const std::string& path) {
  EndWineServer();
  std::filesystem::remove_all(path);
  std::filesystem::rename(prefix_, path);
}

void WineSession::DeleteGameKey() {
  // Fails when there is no key, which is as good.
  Wine({"reg", "delete", kGameKey, "/f", "/reg:32"}, kCommandSeconds, true);
}

void WineSession::EndWineServer() {
  CommandResult result =
      RunCommand({tools_.wineserver, "-k"}, folder_, Environment("-all"), kCommandSeconds);
  if (result.timedOut) throw std::runtime_error("wineserver -k did not end");
}

std::string WineSession::X(const std::vector<std::string>& arguments, bool mayFail) const {
  CommandResult result = RunCommand(arguments, folder_, {"DISPLAY=" + display_}, kXSeconds);
  if (!mayFail && (result.timedOut || result.exitCode != 0))
    throw std::runtime_error(CommandLine(arguments) + " failed: " + Tail(result.err));
  return result.out;
}

WindowsRun WineSession::Run(const std::string& exe, const std::string& workingDirectory,
                            const std::string& screenshotBase, const WineRunOptions& options) {
  const std::string log = folder_ + "/run" + std::to_string(++runs_) + ".log";
  std::vector<std::string> argv = {tools_.wine, exe};
  argv.insert(argv.end(), options.arguments.begin(), options.arguments.end());
  std::string debug = "fixme-all,+msgbox";
  if (!options.debugChannels.empty()) debug += "," + options.debugChannels;
  std::vector<std::string> environment = Environment(debug, options.dllOverrides);
  environment.insert(environment.end(), options.environment.begin(), options.environment.end());
  ChildProcess program(argv, workingDirectory, environment, "/dev/null", log);
  std::vector<std::string> captions;
  std::map<std::string, Clock::time_point> returnPressed;  // by window
  auto deadline = Clock::now() + kBoxWait;
  WindowsRun run;
  try {
    while (!program.Ended(&run.exitCode)) {
      if (Clock::now() >= deadline)
        throw std::runtime_error(exe + " showed no further box and did not end within " +
                                 std::to_string(kBoxWait.count()) + " s after " +
                                 std::to_string(captions.size()) + " box(es); Wine's output:\n" +
                                 Tail(ReadFileBytes(log)));
      // The program's visible windows (xdotool fails when there is none).
      std::istringstream windows(
          X({tools_.xdotool, "search", "--onlyvisible", "--pid", std::to_string(program.pid())},
            true));
      for (std::string window; std::getline(windows, window);) {
        if (window.empty()) continue;
        auto pressed = returnPressed.find(window);
        if (pressed == returnPressed.end()) {
          // A box is mapped before it has painted itself.
          std::this_thread::sleep_for(std::chrono::milliseconds(300));
          captions.push_back(WithoutFinalNewline(X({tools_.xdotool, "getwindowname", window})));
          std::string suffix = captions.size() > 1 ? "-" + std::to_string(captions.size()) : "";
          X({tools_.import, "-window", window, screenshotBase + suffix + ".png"});
          deadline = Clock::now() + kBoxWait;
        } else if (Clock::now() - pressed->second < kReturnRepeat) {
          continue;
        }
        // A real key press (XTEST) with the pointer on the box, which has the
        // keyboard while no window manager gives the focus elsewhere. A key
        // sent to the window as an X event instead leaves Wine believing
        // Return is still held, and later boxes close as soon as they open.
        // The box may be gone by the time the key arrives: the run's end is
        // what counts.
        X({tools_.xdotool, "mousemove", "--window", window, "10", "10", "key", "Return"}, true);
        returnPressed[window] = Clock::now();
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
    throw std::runtime_error(exe + " showed " + std::to_string(captions.size()) +
                             " box window(s) but Wine traced " + std::to_string(texts.size()) +
                             " box text(s); Wine's output:\n" + Tail(run.wineOutput));
  for (size_t i = 0; i < texts.size(); ++i) {
    // What Wine showed, as the program's narrow bytes.
    std::string caption;
    if (!HostToNarrow(captions[i], &caption))
      throw std::runtime_error("a box showed a character outside code page " +
                               std::to_string(AnsiCodePage()) + ": " + captions[i]);
    run.boxes.push_back(WindowsBox{caption, texts[i]});
  }
  return run;
}

CommandResult WineSession::RunConsole(const std::vector<std::string>& arguments,
                                      const std::string& workingDirectory, bool onTerminal) {
  std::vector<std::string> argv = {tools_.wine};
  argv.insert(argv.end(), arguments.begin(), arguments.end());
  if (onTerminal) {
    std::string line;
    for (const std::string& argument : argv) {
      line += " '";
      for (char c : argument) line += c == '\'' ? std::string("'\\''") : std::string(1, c);
      line += "'";
    }
    argv = {"/usr/bin/script", "-qec", line, "/dev/null"};
  }
  return RunCommand(argv, workingDirectory, Environment("-all"), kCommandSeconds);
}
