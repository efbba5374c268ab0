// fff: builds and inspects FFF archives for patch publishers.
#include <cstdint>
#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "installer/messages.h"
#include "installer/settings.h"
#include "platform/code_page.h"
#include "platform/dll_search.h"
#include "programs/fff/fff_tool.h"
#include "programs/fff/text_output.h"
#include "programs/product_version.h"

namespace {

// The commands, as run and as the usage text shows them.
struct Command {
  const char* word;
  const char* operands;
  const char* help;  // lines of 64 columns at most, each ending in '\n'
  int (*run)(const CommandArguments&);
  bool takesFolder;
  size_t minimumOperands;  // after ARCHIVE
  size_t maximumOperands;
  bool takesPatch = false;  // --patch and --languages
};

const Command kCommands[] = {
    {"create", "ARCHIVE [-C DIR] [NAME=]FILE...",
     "writes ARCHIVE from the FILEs, in that order, or writes nothing\n"
     "when any of them cannot be stored; before it takes its name, the\n"
     "archive is read back as the installer reads it and held against\n"
     "the FILEs. NAME=FILE stores FILE as member NAME; a FILE alone,\n"
     "or =FILE, is stored under its own relative path. An operand\n"
     "holding '=' that is also an existing file is refused: write\n"
     "=FILE for the file, or NAME=./FILE. With -C, FILEs are read\n"
     "relative to DIR. ARCHIVE is a new file or replaces a regular\n"
     "file; a link, folder, pipe, socket or device there is refused.\n",
     RunCreate, true, 1, SIZE_MAX},
    {"list", "ARCHIVE [MEMBER...]",
     "prints the offset, size and name of every member (or of the\n"
     "MEMBERs), tab-separated.\n",
     RunList, false, 0, SIZE_MAX},
    {"extract", "ARCHIVE [-C DIR] [MEMBER...]",
     "writes every member the installer can find (or the MEMBERs) into\n"
     "DIR or the current folder, making folders. A file already there\n"
     "is replaced; so is a link in the way, never followed; a\n"
     "folder where a file belongs, or a file where a folder belongs,\n"
     "is refused. Every member is checked before anything is written,\n"
     "and files and links are replaced only once all are written: a\n"
     "failure leaves the folder's files, links and folders as they\n"
     "were. Leftovers of a killed extract (.fff*.tmp) are removed.\n",
     RunExtract, true, 0, SIZE_MAX},
    {"check", "[--patch [--languages CODE,...]] ARCHIVE",
     "reports everything that keeps the installer from mounting\n"
     "ARCHIVE or from finding a member: a damaged header or directory,\n"
     "names that break the rule below or that an earlier member hides,\n"
     "data past the end of the file, or over the header, directory or\n"
     "another member's data (members may share the very same bytes);\n"
     "and names extract cannot write on Linux or on Windows.\n"
     "With --patch, ARCHIVE is checked as a Patch.dat, with the run's\n"
     "own check: for each registry language CODE (below) it must hold,\n"
     "whole and under the names the installer looks up, the language's\n"
     "archive /Patch_CODE.cod and its edition's three executables\n"
     "(/Kieselfuchs_*.exe where CODE holds \"ger\", else\n"
     "/Gravelhorn_*.exe), and each language archive a Cfg/Menu.cfg\n"
     "that a second run reads as a version it does not upgrade.\n"
     "Members that no run copies are named as warnings.\n",
     RunCheck, false, 0, 0, true},
};

void PrintUsage(FILE* to) {
  std::string text;
  for (const Command& command : kCommands)
    text += std::string(text.empty() ? "usage: " : "       ") + "fff " +
            command.word + " " + command.operands + "\n";
  text += "       fff help | --version\n\n";
  for (const Command& command : kCommands) {
    std::string indent = std::string("  ") + command.word;
    indent.resize(11, ' ');
    for (const char* line = command.help; *line != '\0';) {
      const char* end = line;
      while (*end != '\n') ++end;
      text += indent + std::string(line, end + 1);
      indent = std::string(11, ' ');
      line = end + 1;
    }
  }
  text +=
      "\n"
      "A member name is the name the installer looks up: '/' between\n"
      "folders (create turns '\\' into '/'), shorter than 128 bytes in the\n"
      "ANSI code page (here " +
      std::to_string(AnsiCodePage()) +
      "), no ':' or drive, no empty, '.' or '..'\n"
      "part, no part ending in '.' or ' '; one leading '/' is allowed, as\n"
      "in /Gravelhorn_d3d.exe. A MEMBER matches in any letter case, with\n"
      "either slash, with or without the leading '/'. Names extract\n"
      "could not write are refused too: on Windows CON, NUL, COM1,\n"
      "nul.txt, CONOUT$ and the like, the characters <>:\"|?*, and names\n"
      "Windows takes for one (letter case in every script); on Linux,\n"
      "parts longer than 255 bytes in UTF-8. extract refuses those of\n"
      "the system it runs on; create and check, those of both.\n"
      "\n"
      "--languages takes registry codes of 1 to 15 characters, such as\n"
      "ger for a German-only release; without it, --patch checks the\n"
      "installer's " +
      CatalogueCodes() +
      ".\n"
      "\n"
      "'--' ends the options. Exit status: 0 success, 1 damaged archive\n"
      "or failed operation, 2 bad usage.\n";
  WriteText(to, text);
}

int UsageError(const std::string& problem, const Command* command) {
  std::string text = "fff: " + problem + "\n";
  if (command != nullptr)
    text += std::string("usage: fff ") + command->word + " " +
            command->operands + "\n";
  WriteText(stderr, text + "Try 'fff --help' for more.\n");
  return kExitUsage;
}

}  // namespace

int main(int argc, char** argv) {
  RestrictDllSearch();  // first: no DLL beside fff.exe is ever loaded
  if (argc < 2) {
    PrintUsage(stderr);
    return kExitUsage;
  }
  const std::string word = argv[1];
  if (word == "help" || word == "--help" || word == "-h") {
    PrintUsage(stdout);
    return kExitSuccess;
  }
  if (word == "--version")
    return WriteText(stdout, std::string("fff (") + PRODUCT_NAME_TEXT + ") " +
                                 PRODUCT_VERSION_TEXT + "\n")
               ? kExitSuccess
               : kExitFailure;
  const Command* command = nullptr;
  for (const Command& candidate : kCommands)
    if (word == candidate.word) command = &candidate;
  if (command == nullptr)
    return UsageError("unknown command '" + Printable(word) + "'", nullptr);

  // -C may come anywhere before "--"; the first operand is the archive.
  CommandArguments arguments;
  std::vector<std::string> operands;
  const char* languages = nullptr;
  bool optionsEnded = false;
  for (int i = 2; i < argc; ++i) {
    const std::string argument = argv[i];
    if (!optionsEnded && argument == "--") {
      optionsEnded = true;
    } else if (!optionsEnded && argument == "-C" && command->takesFolder) {
      if (i + 1 >= argc || !arguments.folder.empty() || argv[i + 1][0] == '\0')
        return UsageError("-C needs one non-empty DIR", command);
      arguments.folder = argv[++i];
    } else if (!optionsEnded && argument == "--patch" && command->takesPatch) {
      arguments.patch = true;
    } else if (!optionsEnded && argument == "--languages" &&
               command->takesPatch) {
      if (i + 1 >= argc || languages != nullptr)
        return UsageError("--languages needs one list of CODEs", command);
      languages = argv[++i];
    } else if (!optionsEnded && argument.size() > 1 && argument[0] == '-') {
      return UsageError("unknown option '" + Printable(argument) + "'",
                        command);
    } else {
      operands.push_back(argument);
    }
  }
  if (operands.empty()) return UsageError("no ARCHIVE given", command);
  arguments.archive = operands[0];
  arguments.operands.assign(operands.begin() + 1, operands.end());
  if (arguments.operands.size() < command->minimumOperands)
    return UsageError("no FILE given", command);
  if (arguments.operands.size() > command->maximumOperands)
    return UsageError("too many operands", command);
  if (languages != nullptr && !arguments.patch)
    return UsageError("--languages goes with --patch", command);
  if (arguments.patch && languages == nullptr)
    for (const CatalogueLanguage& language : MessageCatalogue)
      arguments.languages.push_back(language.code);
  // Codes as the registry's Language value holds them, which the run
  // reads into 15 bytes of the ANSI code page.
  for (std::string list = languages != nullptr ? languages : "";
       languages != nullptr;) {
    const size_t comma = list.find(',');
    const std::string code = list.substr(0, comma);
    std::string narrow;
    if (!HostToNarrow(code, &narrow) || narrow.empty() ||
        narrow.size() >= size_t(kLanguageValueSize))
      return UsageError(
          "a language CODE is 1 to 15 characters: '" + Printable(code) + "'",
          command);
    arguments.languages.push_back(code);
    if (comma == std::string::npos) break;
    list.erase(0, comma + 1);
  }

  try {
    return command->run(arguments);
  } catch (const std::exception& failure) {
    // Out of memory and the like: still a failure, not a crash.
    Complain(arguments.archive, failure.what());
    return kExitFailure;
  }
}
