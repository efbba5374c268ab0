#include "programs/linux/program_command.h"

#include <ctype.h>
#include <stdlib.h>

#include <cstring>

#include "programs/linux/game_search.h"

namespace {

std::string command = "patch_installer";

// Whether the shell takes text as one word with nothing to expand.
bool PlainWord(const std::string& text) {
  if (text.empty()) return false;
  for (unsigned char c : text)
    if (!isalnum(c) && strchr("./_-+,:@%=", c) == nullptr) return false;
  return true;
}

}  // namespace

void SetProgramCommand(const char* argv0) {
  if (argv0 == nullptr || *argv0 == '\0') return;
  std::string started = argv0;
  const bool bare = started.find('/') == std::string::npos;
  const bool here =
      started.rfind("./", 0) == 0 && started.find('/', 2) == std::string::npos;
  if (!bare && !here) {
    char* resolved = realpath(argv0, nullptr);
    if (resolved != nullptr) started = resolved;
    free(resolved);
  }
  command = PlainWord(started) ? started : ShellQuoted(started);
}

const std::string& ProgramCommand() { return command; }
