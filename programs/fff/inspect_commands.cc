// fff list and fff check: looking at an archive without changing anything.
#include <algorithm>

#include "programs/fff/fff_tool.h"
#include "programs/fff/member_name.h"
#include "programs/fff/text_output.h"

int RunList(const CommandArguments& arguments) {
  OpenedArchive archive;
  if (!OpenArchive(arguments.archive, &archive)) return kExitFailure;
  const ArchiveDirectory& directory = archive.directory;
  std::vector<int32_t> selected;
  if (!SelectEntries(arguments, directory, &selected)) return kExitFailure;
  if (arguments.operands.empty())
    for (int32_t i = 0; i < directory.entryCount; ++i) selected.push_back(i);
  bool written = true;
  for (int32_t i : selected) {
    const DirectoryEntry& entry = directory.entries[i];
    written = WriteText(stdout, std::to_string(EntryOffset(entry)) + '\t' +
                                    std::to_string(EntrySize(entry)) + '\t' +
                                    ShownName(EntryName(entry)) + '\n') &&
              written;
  }
  if (std::fflush(stdout) != 0 || !written) {
    Complain(arguments.archive, "cannot write the listing");
    return kExitFailure;
  }
  return kExitSuccess;
}

namespace {

std::string DescribeData(const DirectoryEntry& entry) {
  return "(offset " + std::to_string(EntryOffset(entry)) + ", size " +
         std::to_string(EntrySize(entry)) + ")";
}

// The installer copies whatever bytes an entry points at: a member whose
// bytes run into another's, or into the header or directory, is garbled
// (a problem). Two members with exactly the same bytes share them on
// purpose (a note).
void FindOverlaps(const ArchiveDirectory& directory,
                  std::vector<std::string>* problems,
                  std::vector<std::string>* notes) {
  struct Span {
    uint64_t start, end;
    int32_t index;  // -1: the header and directory
  };
  std::vector<Span> spans;
  for (int32_t i = 0; i < directory.entryCount; ++i) {
    const DirectoryEntry& entry = directory.entries[i];
    if (EntrySize(entry) > 0)
      spans.push_back({EntryOffset(entry),
                       uint64_t(EntryOffset(entry)) + EntrySize(entry), i});
  }
  std::sort(spans.begin(), spans.end(), [](const Span& a, const Span& b) {
    return a.start != b.start ? a.start < b.start
           : a.end != b.end   ? a.end < b.end
                              : a.index < b.index;
  });
  // In order of their start, each span is held against the one that
  // reached furthest before it; one that only repeats the span before it
  // is held against what came before that span.
  // The bytes of a partial entry at the directory's end are never read.
  const Span head = {
      0, kFffHeaderSize + uint64_t(directory.entryCount) * kDirectoryEntrySize,
      -1};
  Span reach = head, reachBefore = head;
  const Span* first = nullptr;  // of the spans equal to the last one
  for (const Span& span : spans) {
    const bool repeated = first != nullptr && first->start == span.start &&
                          first->end == span.end;
    if (!repeated) {
      reachBefore = reach;
      first = &span;
    }
    const Span& against = reachBefore;
    const std::string where = DescribeEntry(directory, span.index);
    if (repeated)
      notes->push_back(where + " shares its bytes with " +
                       DescribeEntry(directory, first->index));
    if (span.start < against.end)
      problems->push_back(
          where + ": its data " + DescribeData(directory.entries[span.index]) +
          " overlaps " +
          (against.index < 0
               ? "the header and directory, bytes 0 to " +
                     std::to_string(against.end - 1)
               : "the data of " + DescribeEntry(directory, against.index) +
                     " " + DescribeData(directory.entries[against.index])));
    if (span.end > reach.end) reach = span;
  }
}

// Names that extract could not write on Linux or on Windows, entry by
// entry, and entries that would clash there.
void FindUnextractableNames(const ArchiveDirectory& directory,
                            const std::vector<int32_t>& named,
                            std::vector<std::string>* problems) {
  std::vector<int32_t> writable;
  std::vector<std::string> keys;
  for (int32_t i : named) {
    const std::string_view name = EntryName(directory.entries[i]);
    const std::string problem = ExtractionNameProblem(name);
    if (!problem.empty()) {
      problems->push_back(DescribeEntry(directory, i) + ": " + problem);
    } else {
      writable.push_back(i);
      keys.push_back(WindowsNameKey(name));
    }
  }
  for (const NameClash& clash : FindNameClashes(keys)) {
    const int32_t member = writable[clash.member];
    problems->push_back(
        DescribeEntry(directory, member) + ": " +
        DescribeClash(clash, EntryName(directory.entries[member]),
                      DescribeEntry(directory, writable[clash.other])));
  }
}

}  // namespace

std::vector<std::string> FindArchiveProblems(const ArchiveDirectory& directory,
                                             std::vector<std::string>* notes) {
  std::vector<std::string> problems;
  if (PartialEntryBytes(directory) != 0)
    problems.push_back("the directory size " +
                       std::to_string(DirectorySize(directory.header)) +
                       " is not a multiple of 136: it ends in a partial "
                       "entry, which the installer ignores");
  const std::vector<int32_t> found = FindEntriesFound(directory);
  std::vector<int32_t> named;  // entries the installer finds by their names
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
    else
      named.push_back(i);
    if (!DataWithinFile(directory, i))
      problems.push_back(where + "its data " + DescribeData(entry) +
                         " runs past the end of the file (" +
                         std::to_string(directory.fileLength) + " bytes)");
  }
  FindOverlaps(directory, &problems, notes);
  FindUnextractableNames(directory, named, &problems);
  return problems;
}

int RunCheck(const CommandArguments& arguments) {
  OpenedArchive archive;
  if (!OpenArchive(arguments.archive, &archive)) return kExitFailure;
  const ArchiveDirectory& directory = archive.directory;
  PatchReport report;
  report.problems = FindArchiveProblems(directory, &report.notes);
  if (arguments.patch) FindPatchProblems(archive, arguments.languages, &report);
  for (const std::string& problem : report.problems)
    Complain(arguments.archive, problem);
  for (const std::string& warning : report.warnings)
    Complain(arguments.archive, "warning: " + warning);
  if (!report.problems.empty()) return kExitFailure;
  const std::string shown = Printable(arguments.archive);
  std::string text;
  for (const std::string& note : report.notes)
    text += shown + ": " + note + "\n";
  std::string verdict = "OK,";
  if (arguments.patch) {
    std::string codes;
    for (const std::string& code : arguments.languages)
      codes += (codes.empty() ? "" : ", ") + Printable(code);
    verdict = "OK, a patch for " + codes + ":";
  }
  text += shown + ": " + verdict + " " + std::to_string(directory.entryCount) +
          " members, " + std::to_string(directory.fileLength) + " bytes\n";
  return WriteText(stdout, text) ? kExitSuccess : kExitFailure;
}
