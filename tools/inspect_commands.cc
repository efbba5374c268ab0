// fff list and fff check: looking at an archive without changing anything.
#include <iostream>

#include "tools/archive_directory.h"
#include "tools/fff_tool.h"

int RunList(const CommandArguments& arguments) {
  ArchiveDirectory directory;
  if (!ReadSoundDirectory(arguments.archive, &directory)) return kExitFailure;
  for (const ArchiveEntry& entry : directory.entries)
    std::cout << entry.offset << '\t' << entry.size << '\t'
              << Printable(entry.name) << '\n';
  if (!std::cout.flush()) {
    Complain(arguments.archive, "cannot write the listing");
    return kExitFailure;
  }
  return kExitSuccess;
}

int RunCheck(const CommandArguments& arguments) {
  ArchiveDirectory directory;
  std::string error;
  if (!ReadArchiveDirectory(arguments.archive, &directory, &error)) {
    Complain(arguments.archive, error);
    return kExitFailure;
  }
  std::vector<std::string> problems = directory.layoutProblems;
  for (const std::string& problem : FindEntryProblems(directory))
    problems.push_back(problem);
  for (const std::string& problem : problems)
    Complain(arguments.archive, problem);
  if (!problems.empty()) return kExitFailure;
  std::cout << arguments.archive << ": OK, " << directory.entries.size()
            << " members, " << directory.fileLength << " bytes\n";
  return kExitSuccess;
}
