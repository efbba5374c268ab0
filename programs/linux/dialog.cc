#include "programs/linux/dialog.h"

#include <errno.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <vector>

extern char** environ;

namespace {

bool Set(const char* name) {
  const char* value = getenv(name);
  return value != nullptr && *value != '\0';
}

// The program name in a folder of PATH, or "" where there is none. Only
// absolute folders count: an empty or relative entry would take a file of
// that name from the current folder, such as a download folder.
std::string OnPath(const std::string& name) {
  const char* path = getenv("PATH");
  std::string folders = path != nullptr ? path : "";
  for (size_t start = 0; start <= folders.size();) {
    size_t end = folders.find(':', start);
    if (end == std::string::npos) end = folders.size();
    const std::string folder = folders.substr(start, end - start);
    std::string candidate = folder + "/" + name;
    struct stat info;
    if (!folder.empty() && folder[0] == '/' &&
        stat(candidate.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
        access(candidate.c_str(), X_OK) == 0)
      return candidate;
    start = end + 1;
  }
  return "";
}

// zenity reads backslash escapes in its text (\n, \t, \\): every backslash
// of the text is doubled to stay one.
std::string ForZenity(const std::string& text) {
  std::string escaped;
  for (char c : text) escaped += c == '\\' ? "\\\\" : std::string(1, c);
  return escaped;
}

}  // namespace

bool DialogWanted() {
  return !isatty(STDIN_FILENO) && !isatty(STDOUT_FILENO) &&
         !isatty(STDERR_FILENO) && (Set("DISPLAY") || Set("WAYLAND_DISPLAY"));
}

void ShowDialog(const std::string& caption, const std::string& text,
                bool error) {
  std::vector<std::string> argv;
  std::string program = OnPath("zenity");
  if (!program.empty()) {
    argv = {"zenity",       error ? "--error" : "--info",
            "--no-markup",  "--title",
            caption,        "--text",
            ForZenity(text)};
  } else if (!(program = OnPath("kdialog")).empty()) {
    argv = {"kdialog", "--title", caption, error ? "--error" : "--msgbox",
            text};
  } else {
    return;
  }
  std::vector<char*> pointers;
  pointers.reserve(argv.size() + 1);
  for (std::string& argument : argv) pointers.push_back(&argument[0]);
  pointers.push_back(nullptr);
  pid_t child = -1;
  if (posix_spawn(&child, program.c_str(), nullptr, nullptr, pointers.data(),
                  environ) != 0)
    return;
  while (waitpid(child, nullptr, 0) < 0 && errno == EINTR) {
  }
}
