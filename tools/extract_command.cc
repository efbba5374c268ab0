// fff extract: writes members into a folder, never outside it.
#include <filesystem>
#include <fstream>
#include <unordered_map>

#include "tools/archive_directory.h"
#include "tools/fff_tool.h"

namespace fs = std::filesystem;

namespace {

// Where a member lands under the extraction folder, or "" when its name could
// reach outside it or means something else on Windows (a drive letter, a
// stream, a backslash). Patch archives root names with a single "/", which
// is dropped.
std::string PathInsideFolder(const std::string& name) {
  const std::string relative =
      !name.empty() && name[0] == '/' ? name.substr(1) : name;
  if (relative.find_first_of("\\:") != std::string::npos) return "";
  for (size_t start = 0;;) {
    const size_t slash = relative.find('/', start);
    const std::string part = relative.substr(start, slash - start);
    // Windows drops a part's trailing dots and spaces, so ".. " is "..".
    if (part.empty() || part.back() == '.' || part.back() == ' ') return "";
    if (slash == std::string::npos) return relative;
    start = slash + 1;
  }
}

const char kEscapingName[] =
    "the name could lead outside the folder (it has an empty part, a part "
    "ending in '.' or ' ', a '\\' or a ':')";

struct Extraction {
  const ArchiveEntry* entry;
  std::string relative;
};

// The entries to write: those named, or every entry the installer can find.
bool SelectEntries(const CommandArguments& arguments,
                   const ArchiveDirectory& directory,
                   std::vector<const ArchiveEntry*>* selected) {
  bool found = true;
  for (const std::string& name : arguments.operands) {
    const ArchiveEntry* entry = FindMember(directory, name);
    if (entry == nullptr) {
      Complain(arguments.archive, QuoteMember(name) + ": not in the archive");
      found = false;
      continue;
    }
    selected->push_back(entry);
  }
  if (!arguments.operands.empty()) return found;
  std::unordered_map<std::string, const ArchiveEntry*> firstWithKey;
  for (const ArchiveEntry& entry : directory.entries) {
    if (entry.nameTerminated && !entry.name.empty()) {
      auto added = firstWithKey.emplace(LookupKey(entry.name), &entry);
      if (!added.second) {
        Complain(arguments.archive,
                 "skipping " + DescribeEntry(entry) + ": the installer finds " +
                     DescribeEntry(*added.first->second) + " under that name");
        continue;
      }
    }
    selected->push_back(&entry);
  }
  return true;
}

// Refuses the whole extraction, before anything is written, when any chosen
// entry is damaged, could escape the folder, or lands on another's file.
bool PlanExtractions(const std::string& archive,
                     const ArchiveDirectory& directory,
                     const std::vector<const ArchiveEntry*>& selected,
                     std::vector<Extraction>* plan) {
  bool sound = true;
  std::unordered_map<std::string, const ArchiveEntry*> entryAtPath;
  for (const ArchiveEntry* entry : selected) {
    std::string problem;
    Extraction extraction{entry, std::string()};
    if (!entry->nameTerminated) {
      problem = "the name has no terminating zero within its 128 bytes";
    } else if (entry->name.empty()) {
      problem = "the name is empty";
    } else if (!DataWithinFile(*entry, directory.fileLength)) {
      problem = "its data runs past the end of the file";
    } else if ((extraction.relative = PathInsideFolder(entry->name)).empty()) {
      problem = kEscapingName;
    } else {
      auto added = entryAtPath.emplace(LookupKey(extraction.relative), entry);
      if (!added.second && added.first->second != entry)
        problem = "it would land on the same file as " +
                  DescribeEntry(*added.first->second);
      else if (added.second)
        plan->push_back(extraction);
    }
    if (!problem.empty()) {
      Complain(archive, "refusing " + DescribeEntry(*entry) + ": " + problem);
      sound = false;
    }
  }
  return sound;
}

bool WriteMember(const std::string& archive, std::ifstream& in,
                 const ArchiveEntry& entry, const fs::path& target) {
  std::error_code code, ignored;
  if (fs::equivalent(target, archive, ignored)) {
    Complain(archive, QuoteMember(entry.name) + ": extracting to '" +
                          target.string() + "' would overwrite the archive");
    return false;
  }
  fs::create_directories(target.parent_path(), code);
  std::ofstream out;
  if (!code) out.open(target, std::ios::binary | std::ios::trunc);
  const bool created = out.is_open();
  std::string error;
  if (code)
    error = "cannot create its folder: " + code.message();
  else if (!out)
    error = "cannot create it";
  else if (!in.seekg(std::streamoff(entry.offset)))
    error = "cannot seek in the archive";
  else
    error = CopyBlocks(in, out, entry.size);
  out.close();
  if (error.empty() && out.fail()) error = "writing failed";
  if (error.empty()) return true;
  Complain(archive, QuoteMember(entry.name) + ": extracting to '" +
                        target.string() + "': " + error);
  if (created) fs::remove(target, code);  // a partial member is worse than none
  return false;
}

}  // namespace

int RunExtract(const CommandArguments& arguments) {
  const std::string& archive = arguments.archive;
  ArchiveDirectory directory;
  if (!ReadSoundDirectory(archive, &directory)) return kExitFailure;
  std::vector<const ArchiveEntry*> selected;
  std::vector<Extraction> plan;
  if (!SelectEntries(arguments, directory, &selected) ||
      !PlanExtractions(archive, directory, selected, &plan))
    return kExitFailure;

  std::ifstream in(archive, std::ios::binary);
  if (!in) {
    Complain(archive, "cannot open the archive");
    return kExitFailure;
  }
  const fs::path folder = arguments.folder.empty() ? "." : arguments.folder;
  for (const Extraction& extraction : plan) {
    in.clear();
    if (!WriteMember(archive, in, *extraction.entry,
                     folder / extraction.relative))
      return kExitFailure;
  }
  return kExitSuccess;
}
