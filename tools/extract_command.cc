// fff extract: writes members into a folder, never outside it.
//
// Nothing is written until the whole extraction is known to be possible:
// every chosen member's name follows the member-name rule, its data lies
// within the file, no two members land on one file or need one path as a
// file and as a folder, and nothing in the folder stands in the way. A file
// there is replaced; so is a link, which is never followed, for a file or a
// folder alike; a folder where a file belongs, or a file where a folder
// belongs, refuses the extraction.
#include <cerrno>
#include <cstring>
#include <unordered_map>

#include "platform/code_page.h"
#include "tools/fff_tool.h"
#include "tools/host_files.h"
#include "tools/member_name.h"

namespace {

#ifdef _WIN32
const char kFolderSeparators[] = "/\\";
#else
const char kFolderSeparators[] = "/";
#endif

struct Extraction {
  int32_t index;
  std::string relative;  // host text below the folder, '/' separators
};

// The entries to write: those named, or every entry the installer can find.
bool ChooseEntries(const CommandArguments& arguments,
                   const ArchiveDirectory& directory,
                   std::vector<int32_t>* chosen) {
  if (!arguments.operands.empty())
    return SelectEntries(arguments, directory, chosen);
  const std::vector<int32_t> found = FindEntriesFound(directory);
  for (int32_t i = 0; i < directory.entryCount; ++i) {
    if (found[i] == i)
      chosen->push_back(i);
    else
      Complain(arguments.archive, "skipping " + DescribeEntry(directory, i) +
                                      ": the installer finds " +
                                      DescribeEntry(directory, found[i]) +
                                      " under that name");
  }
  return true;
}

// Where each chosen entry lands; complains about every entry that breaks
// the member-name rule, lies past the end of the file, or clashes with
// another.
bool PlanExtractions(const std::string& archive,
                     const ArchiveDirectory& directory,
                     const std::vector<int32_t>& chosen,
                     std::vector<Extraction>* plan) {
  bool sound = true;
  auto refuse = [&](int32_t index, const std::string& problem) {
    Complain(archive,
             "refusing " + DescribeEntry(directory, index) + ": " + problem);
    sound = false;
  };
  std::unordered_map<std::string, int32_t> entryAtFile;
  for (int32_t index : chosen) {
    const std::string_view name = EntryName(directory.entries[index]);
    std::string problem = MemberNameProblem(name);
#ifdef _WIN32
    if (problem.empty()) problem = WindowsFileNameProblem(name);
#endif
    if (problem.empty() && !DataWithinFile(directory, index))
      problem = "its data runs past the end of the file";
    if (!problem.empty()) {
      refuse(index, problem);
      continue;
    }
    const std::string relative =
        NarrowToHost(name[0] == '/' ? name.substr(1) : name);
    auto added = entryAtFile.emplace(LookupKey(relative), index);
    if (added.second)
      plan->push_back(Extraction{index, relative});
    else
      refuse(index, "it would land on the same file as " +
                        DescribeEntry(directory, added.first->second));
  }
  // A path that one member needs as a folder cannot be another's file.
  for (const Extraction& extraction : *plan) {
    const std::string& relative = extraction.relative;
    for (size_t slash = relative.find('/'); slash != std::string::npos;
         slash = relative.find('/', slash + 1)) {
      auto file = entryAtFile.find(LookupKey(relative.substr(0, slash)));
      if (file != entryAtFile.end())
        refuse(extraction.index,
               "it needs '" + Printable(relative.substr(0, slash)) +
                   "' as a folder, but " +
                   DescribeEntry(directory, file->second) + " is a file");
    }
  }
  return sound;
}

// Refuses each member that something already in the folder stands in the
// way of. Beneath a link nothing counts, since the link will be replaced.
bool CheckFolder(const std::string& archive, const ArchiveDirectory& directory,
                 const std::string& folder,
                 const std::vector<Extraction>& plan) {
  bool clear = true;
  for (const Extraction& extraction : plan) {
    std::string problem;
    for (size_t start = 0;;) {
      const size_t slash = extraction.relative.find('/', start);
      const std::string path =
          folder + "/" + extraction.relative.substr(0, slash);
      const HostEntry there = InspectHostEntry(path);
      const std::string quoted = "'" + Printable(path) + "'";
      if (slash == std::string::npos) {
        if (there == HostEntry::kFolder)
          problem = quoted + " is a folder; a file cannot replace it";
        else if (there == HostEntry::kOther)
          problem = quoted + " is not a regular file";
        else if (there == HostEntry::kFile && SameFile(path, archive))
          problem = "extracting to " + quoted + " would overwrite the archive";
        break;
      }
      if (there == HostEntry::kMissing || there == HostEntry::kLink) break;
      if (there != HostEntry::kFolder) {
        problem = quoted + " is a file, and the member needs a folder there";
        break;
      }
      start = slash + 1;
    }
    if (!problem.empty()) {
      Complain(archive, "refusing " +
                            DescribeEntry(directory, extraction.index) + ": " +
                            problem);
      clear = false;
    }
  }
  return clear;
}

// Makes folder and its missing parents; whatever is on that path already,
// links included, is the user's choice.
bool MakeExtractionFolder(const std::string& folder, std::string* error) {
  for (size_t end = folder.find_first_of(kFolderSeparators, 1);;
       end = folder.find_first_of(kFolderSeparators, end + 1)) {
    const std::string path = folder.substr(0, end);
    if (InspectHostEntry(path) == HostEntry::kMissing &&
        !MakeFolder(path, error)) {
      *error = "cannot make the folder '" + Printable(path) + "': " + *error;
      return false;
    }
    if (end == std::string::npos) return true;
  }
}

// Writes one member below folder: a link where a folder belongs becomes a
// folder, and a file or link where its file belongs is replaced, never
// written through. Returns what went wrong, or "".
std::string WriteMember(FILE* archive, const DirectoryEntry& entry,
                        const std::string& folder,
                        const std::string& relative) {
  std::string error;
  for (size_t slash = relative.find('/'); slash != std::string::npos;
       slash = relative.find('/', slash + 1)) {
    const std::string path = folder + "/" + relative.substr(0, slash);
    const HostEntry there = InspectHostEntry(path);
    if (there == HostEntry::kFolder) continue;
    if ((there == HostEntry::kLink && !RemoveEntry(path, &error)) ||
        !MakeFolder(path, &error))
      return "cannot make the folder '" + Printable(path) + "': " + error;
  }
  const std::string path = folder + "/" + relative;
  const HostEntry there = InspectHostEntry(path);
  if ((there == HostEntry::kFile || there == HostEntry::kLink) &&
      !RemoveEntry(path, &error))
    return "cannot replace '" + Printable(path) + "': " + error;
  FILE* out = CreateNewFile(path, &error);
  if (out == nullptr)
    return "cannot create '" + Printable(path) + "': " + error;
  if (!SeekFile(archive, EntryOffset(entry)))
    error = "cannot seek in the archive";
  else
    error = CopyBlocks(archive, out, EntrySize(entry));
  if (std::fclose(out) != 0 && error.empty())
    error = std::string("writing failed: ") + std::strerror(errno);
  if (error.empty()) return error;
  std::string ignored;
  RemoveEntry(path, &ignored);  // a partial member is worse than none
  return "extracting to '" + Printable(path) + "': " + error;
}

}  // namespace

int RunExtract(const CommandArguments& arguments) {
  const std::string& archive = arguments.archive;
  OpenedArchive opened;
  if (!OpenArchive(archive, &opened)) return kExitFailure;
  const ArchiveDirectory& directory = opened.directory;
  const std::string folder = arguments.folder.empty() ? "." : arguments.folder;
  std::vector<int32_t> chosen;
  std::vector<Extraction> plan;
  if (!ChooseEntries(arguments, directory, &chosen) ||
      !PlanExtractions(archive, directory, chosen, &plan) ||
      !CheckFolder(archive, directory, folder, plan))
    return kExitFailure;

  std::string error;
  if (!MakeExtractionFolder(folder, &error)) {
    Complain(archive, error);
    return kExitFailure;
  }
  for (const Extraction& extraction : plan) {
    const DirectoryEntry& entry = directory.entries[extraction.index];
    error = WriteMember(opened.stream, entry, folder, extraction.relative);
    if (!error.empty()) {
      Complain(archive,
               "member '" + ShownName(EntryName(entry)) + "': " + error);
      return kExitFailure;
    }
  }
  return kExitSuccess;
}
