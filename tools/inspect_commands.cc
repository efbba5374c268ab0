// fff list and fff check: looking at an archive without changing anything.
#include "tools/fff_tool.h"
#include "tools/member_name.h"

int RunList(const CommandArguments& arguments) {
  OpenedArchive archive;
  if (!OpenArchive(arguments.archive, &archive)) return kExitFailure;
  const ArchiveDirectory& directory = archive.directory;
  std::vector<int32_t> selected;
  if (!SelectEntries(arguments, directory, &selected)) return kExitFailure;
  if (arguments.operands.empty())
    for (int32_t i = 0; i < directory.entryCount; ++i) selected.push_back(i);
  for (int32_t i : selected) {
    const DirectoryEntry& entry = directory.entries[i];
    const std::string line = std::to_string(EntryOffset(entry)) + '\t' +
                             std::to_string(EntrySize(entry)) + '\t' +
                             ShownName(EntryName(entry)) + '\n';
    std::fputs(line.c_str(), stdout);
  }
  if (std::fflush(stdout) != 0) {
    Complain(arguments.archive, "cannot write the listing");
    return kExitFailure;
  }
  return kExitSuccess;
}

int RunCheck(const CommandArguments& arguments) {
  OpenedArchive archive;
  if (!OpenArchive(arguments.archive, &archive)) return kExitFailure;
  const ArchiveDirectory& directory = archive.directory;
  std::vector<std::string> problems;
  if (PartialEntryBytes(directory) != 0)
    problems.push_back("the directory size " +
                       std::to_string(DirectorySize(directory.header)) +
                       " is not a multiple of 136: it ends in a partial "
                       "entry, which the installer ignores");
  const std::vector<int32_t> found = FindEntriesFound(directory);
  for (int32_t i = 0; i < directory.entryCount; ++i) {
    const DirectoryEntry& entry = directory.entries[i];
    const std::string where = DescribeEntry(directory, i) + ": ";
    const std::string nameProblem = MemberNameProblem(EntryName(entry));
    if (!nameProblem.empty())
      problems.push_back(where + nameProblem);
    else if (found[i] != i)
      problems.push_back(where + "the installer finds " +
                         DescribeEntry(directory, found[i]) +
                         " under this name, never this one");
    if (!DataWithinFile(directory, i))
      problems.push_back(where + "its data (offset " +
                         std::to_string(EntryOffset(entry)) + ", size " +
                         std::to_string(EntrySize(entry)) +
                         ") runs past the end of the file (" +
                         std::to_string(directory.fileLength) + " bytes)");
  }
  for (const std::string& problem : problems)
    Complain(arguments.archive, problem);
  if (!problems.empty()) return kExitFailure;
  const std::string summary =
      arguments.archive + ": OK, " + std::to_string(directory.entryCount) +
      " members, " + std::to_string(directory.fileLength) + " bytes\n";
  std::fputs(summary.c_str(), stdout);
  return kExitSuccess;
}
