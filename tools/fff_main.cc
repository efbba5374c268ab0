// fff: builds and inspects FFF archives for patch publishers.
#include <cstdio>
#include <cstring>
#include <exception>
#include <string>
#include <vector>

#include "tools/fff_tool.h"

namespace {

const char kUsage[] =
    "usage: fff create ARCHIVE [-C DIR] [NAME=]FILE...\n"
    "       fff list ARCHIVE\n"
    "       fff extract ARCHIVE [-C DIR] [MEMBER...]\n"
    "       fff check ARCHIVE\n"
    "       fff help\n"
    "\n"
    "  create   writes ARCHIVE from the FILEs, in that order. A member is\n"
    "           named NAME when given, otherwise by FILE with '\\' turned\n"
    "           into '/'. With -C, the FILEs are read relative to DIR.\n"
    "  list     prints each member's offset, size and name, tab-separated.\n"
    "  extract  writes the members (all, or those named, matched regardless\n"
    "           of case) into DIR or the current folder, making subfolders;\n"
    "           a leading '/' of a name is dropped.\n"
    "  check    reports every problem in the header and directory that the\n"
    "           installer would not notice.\n"
    "\n"
    "Exit status: 0 success, 1 damaged archive or failed operation,\n"
    "2 bad usage.\n";

struct Command {
  const char* word;
  const char* synopsis;
  int (*run)(const CommandArguments&);
  bool takesFolder;
  size_t minimumOperands;
  size_t maximumOperands;
};

const Command kCommands[] = {
    {"create", "fff create ARCHIVE [-C DIR] [NAME=]FILE...", RunCreate, true, 1,
     SIZE_MAX},
    {"list", "fff list ARCHIVE", RunList, false, 0, 0},
    {"extract", "fff extract ARCHIVE [-C DIR] [MEMBER...]", RunExtract, true, 0,
     SIZE_MAX},
    {"check", "fff check ARCHIVE", RunCheck, false, 0, 0},
};

int UsageError(const std::string& problem, const Command* command) {
  std::fprintf(stderr, "fff: %s\n", problem.c_str());
  if (command != nullptr)
    std::fprintf(stderr, "usage: %s\n", command->synopsis);
  std::fprintf(stderr, "Try 'fff --help' for more.\n");
  return kExitUsage;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fputs(kUsage, stderr);
    return kExitUsage;
  }
  const std::string word = argv[1];
  if (word == "help" || word == "--help" || word == "-h") {
    std::fputs(kUsage, stdout);
    return kExitSuccess;
  }
  const Command* command = nullptr;
  for (const Command& candidate : kCommands)
    if (word == candidate.word) command = &candidate;
  if (command == nullptr)
    return UsageError("unknown command '" + word + "'", nullptr);

  // -C may come anywhere before "--"; the first operand is the archive.
  CommandArguments arguments;
  std::vector<std::string> operands;
  bool optionsEnded = false;
  for (int i = 2; i < argc; ++i) {
    const std::string argument = argv[i];
    if (!optionsEnded && argument == "--") {
      optionsEnded = true;
    } else if (!optionsEnded && argument == "-C" && command->takesFolder) {
      if (i + 1 >= argc || !arguments.folder.empty() || argv[i + 1][0] == '\0')
        return UsageError("-C needs one non-empty DIR", command);
      arguments.folder = argv[++i];
    } else if (!optionsEnded && argument.size() > 1 && argument[0] == '-') {
      return UsageError("unknown option '" + argument + "'", command);
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

  try {
    return command->run(arguments);
  } catch (const std::exception& failure) {
    // Out of memory and the like: still a failure, not a crash.
    std::fprintf(stderr, "fff: %s: %s\n", arguments.archive.c_str(),
                 failure.what());
    return kExitFailure;
  }
}
