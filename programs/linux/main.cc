// The Linux program's entry: a command line for naming the Wine prefix
// (the Windows program has none), then the same run as on Windows. An exit
// code of -1 reaches the shell as 255.
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>

#include "installer/startup.h"
#include "platform/code_page.h"
#include "platform/message_box.h"
#include "platform/shown_text.h"
#include "platform/wine/wine_prefix.h"
#include "programs/linux/dialog.h"
#include "programs/linux/game_search.h"
#include "programs/linux/hints.h"
#include "programs/linux/program_command.h"
#include "programs/product_version.h"

namespace {

const char kUsage[] =
    "Usage: patch_installer [--prefix DIR]\n"
    "       patch_installer --list | --help | --version\n";

const char kHelp[] =
    "Patches Gravelhorn (Kieselfuchs) v1.0 or v1.1, installed in a Wine "
    "prefix,\n"
    "to v1.2. Run it in the folder that holds Patch.dat.\n"
    "\n"
    "  --prefix DIR  the Wine prefix that holds the game; without it\n"
    "                $WINEPREFIX, else ~/.wine, as for Wine, or where that\n"
    "                does not hold the game, the one prefix --list finds it\n"
    "                in. Steam's folder steamapps/compatdata/<appid> stands\n"
    "                for its pfx folder.\n"
    "  --list        show the prefixes that hold the game, in the places "
    "where\n"
    "                Wine and the launchers keep them, and the command for "
    "each\n"
    "  -h, --help    show this help\n"
    "  --version     show the version\n"
    "\n"
    "The result comes in a message on the terminal; lines after it that begin\n"
    "with \"patch_installer:\" name the prefix and, after an error, the "
    "cause.\n"
    "Exit status: 0 when the game was patched (--list: when it found the\n"
    "game), 255 after an error message, 1 when --list finds no game, 2 for a\n"
    "wrong command line.\n";

enum class Command { kRun, kList, kHelp, kVersion };

// Every box is followed by the hint lines, on standard error; where no one
// reads a terminal, the box and its hints are a dialog too.
void FollowBox(const char* text, const char* caption, unsigned style) {
  const bool error = style != MESSAGE_STYLE_PLAIN;
  if (!DialogWanted()) {
    PrintHints(stderr, text, error);
    return;
  }
  char* hints = nullptr;
  size_t size = 0;
  FILE* captured = open_memstream(&hints, &size);
  if (captured == nullptr) {
    PrintHints(stderr, text, error);
    return;
  }
  PrintHints(captured, text, error);
  (void)fclose(captured);
  const std::string lines(hints, size);
  free(hints);
  (void)fputs(lines.c_str(), stderr);
  (void)fflush(stderr);
  ShowDialog(ShownEscaped(NarrowToHost(caption)),
             ShownEscaped(NarrowToHost(text), true) + "\n\n" + lines, error);
}

int UsageError(const char* what, const char* argument) {
  (void)fprintf(stderr, "patch_installer: %s: %s\n%s", what,
                ShownEscaped(argument).c_str(), kUsage);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  // A reader that went away fails the message it was sent (EPIPE), never
  // the run: what the run did and its exit code stay the same.
  (void)signal(SIGPIPE, SIG_IGN);
  // A write past the limit on a file's size (ulimit -f) fails with EFBIG
  // and gets its box, instead of killing the run without a word.
  (void)signal(SIGXFSZ, SIG_IGN);
  SetProgramCommand(argc > 0 ? argv[0] : nullptr);
  Command command = Command::kRun;
  const char* prefix = nullptr;
  for (int i = 1; i < argc; ++i) {
    const char* argument = argv[i];
    Command named = Command::kRun;
    if (strcmp(argument, "--list") == 0)
      named = Command::kList;
    else if (strcmp(argument, "--help") == 0 || strcmp(argument, "-h") == 0)
      named = Command::kHelp;
    else if (strcmp(argument, "--version") == 0)
      named = Command::kVersion;
    if (named != Command::kRun) {
      if (command != Command::kRun || prefix != nullptr)
        return UsageError("one command at a time", argument);
      command = named;
      continue;
    }
    const char* value = nullptr;
    if (strcmp(argument, "--prefix") == 0 && i + 1 < argc)
      value = argv[++i];
    else if (strncmp(argument, "--prefix=", 9) == 0)
      value = argument + 9;
    else if (strcmp(argument, "--prefix") == 0)
      return UsageError("--prefix needs a folder", argument);
    else
      return UsageError("unknown argument", argument);
    if (prefix != nullptr || command != Command::kRun)
      return UsageError("one prefix, and only for patching", argument);
    if (*value == '\0') return UsageError("--prefix needs a folder", argument);
    prefix = value;
  }

  switch (command) {
    case Command::kHelp:
      (void)fputs(kUsage, stdout);
      (void)fputs(kHelp, stdout);
      return 0;
    case Command::kVersion:
      printf("patch_installer (%s) %s\n", PRODUCT_NAME_TEXT,
             PRODUCT_VERSION_TEXT);
      return 0;
    case Command::kList:
      return ListGamePrefixes(stdout);
    case Command::kRun:
      break;
  }
  UseWinePrefix(ChoosePrefixForRun(prefix));
  SetMessageBoxFollower(FollowBox);
  return RunInstaller();
}
