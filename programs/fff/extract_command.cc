// fff extract: writes members into a folder, never outside it, and
// replaces the folder's files all together or not at all.
//
// Nothing is written until the whole extraction is known to be possible:
// every chosen member's name follows the member-name rule and can be
// created on this system, its data lies within the file, no two members
// land on one file (as this system compares names) or need one path as a
// file and as a folder, and nothing in the folder stands in the way. A file
// there is replaced; so is a link, which is never followed, for a file or a
// folder alike; a folder where a file belongs, or a file where a folder
// belongs, refuses the extraction.
//
// Then each member is written into a temporary file beside its place, and
// all are put on the disk (on Linux in one flush of the file system, which
// for many small files costs a fraction of one flush each); only then does
// each take its name, in one rename. A failure before that removes the
// temporary files and the folders made, so every file is as it was. Folders are
// opened one part at a time from the chosen folder, never through a link: a
// folder that turns into a link meanwhile is refused, not followed.
#include <cerrno>
#include <cstring>
#include <random>
#include <set>
#include <unordered_set>

#include "platform/code_page.h"
#include "programs/fff/fff_tool.h"
#include "programs/fff/host_files.h"
#include "programs/fff/member_name.h"

namespace {

#ifdef _WIN32
const char kFolderSeparators[] = "/\\";
#else
const char kFolderSeparators[] = "/";
#endif

// ".fff" and eight hexadecimal digits and ".tmp": short, so that a name
// that fits fits beside it.
const size_t kTemporaryNameLength = 16;

struct Extraction {
  int32_t index;
  std::string relative;   // host text below the folder, '/' separators
  std::string temporary;  // its temporary file beside it, while there is one
};

// Names as this system's file system compares them: on Windows every
// script's letter case; on Linux bytes, and ASCII letter case, in which the
// installer and Wine find names.
std::string HostKey(const std::string& relative) {
#ifdef _WIN32
  return WindowsNameKey(relative);  // host text is the narrow text
#else
  return LookupKey(relative);
#endif
}

// What keeps this system from creating the member's path below folder.
std::string HostNameProblem(std::string_view name, const std::string& folder,
                            const std::string& relative) {
#ifdef _WIN32
  std::string problem = WindowsFileNameProblem(name);
#else
  std::string problem = LinuxFileNameProblem(name);
#endif
  return problem.empty()
             ? HostPathProblem(folder, relative, kTemporaryNameLength)
             : problem;
}

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
// the member-name rule, cannot be created here, lies past the end of the
// file, or clashes with another.
bool PlanExtractions(const std::string& archive, const std::string& folder,
                     const ArchiveDirectory& directory,
                     const std::vector<int32_t>& chosen,
                     std::vector<Extraction>* plan) {
  bool sound = true;
  auto refuse = [&](int32_t index, const std::string& problem) {
    Complain(archive,
             "refusing " + DescribeEntry(directory, index) + ": " + problem);
    sound = false;
  };
  std::vector<std::string> keys;
  for (int32_t index : chosen) {
    const std::string_view name = EntryName(directory.entries[index]);
    const std::string relative =
        NarrowToHost(name[0] == '/' ? name.substr(1) : name);
    std::string problem = MemberNameProblem(name);
    if (problem.empty()) problem = HostNameProblem(name, folder, relative);
    if (problem.empty() && !DataWithinFile(directory, index))
      problem = "its data runs past the end of the file";
    if (!problem.empty()) {
      refuse(index, problem);
      continue;
    }
    plan->push_back(Extraction{index, relative, ""});
    keys.push_back(HostKey(relative));
  }
  for (const NameClash& clash : FindNameClashes(keys)) {
    const Extraction& member = (*plan)[clash.member];
    const std::string other =
        DescribeEntry(directory, (*plan)[clash.other].index);
    refuse(
        member.index,
        clash.folderParts == 0
            ? "it would land on the same file as " + other
            : "it needs '" +
                  Printable(LeadingParts(member.relative, clash.folderParts)) +
                  "' as a folder, but " + other + " is a file");
  }
  return sound;
}

// Refuses each member that something already in the folder stands in the
// way of. Beneath a link nothing counts, since the link will be replaced;
// the links where folders belong go into linkedFolders.
bool CheckFolder(const std::string& archive, const ArchiveDirectory& directory,
                 const std::string& folder, const std::vector<Extraction>& plan,
                 std::set<std::string>* linkedFolders) {
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
      if (there == HostEntry::kLink)
        linkedFolders->insert(extraction.relative.substr(0, slash));
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

// Makes folder and its missing parents, listing those made in made;
// whatever is on that path already, links included, is the user's choice.
bool MakeExtractionFolder(const std::string& folder,
                          std::vector<std::string>* made, std::string* error) {
  for (size_t end = folder.find_first_of(kFolderSeparators, 1);;
       end = folder.find_first_of(kFolderSeparators, end + 1)) {
    const std::string path = folder.substr(0, end);
    if (InspectHostEntry(path) == HostEntry::kMissing) {
      if (!MakeFolder(path, error)) {
        *error = "cannot make the folder '" + Printable(path) + "': " + *error;
        return false;
      }
      made->push_back(path);
    }
    if (end == std::string::npos) return true;
  }
}

// The folders of one extraction's paths, each reached from the chosen
// folder one part at a time and held while it is worked in.
class FolderWalk {
 public:
  FolderWalk(const HostFolder& root, const std::set<std::string>& linkedFolders)
      : root_(root), linkedFolders_(linkedFolders) {}

  // Opens the folder that holds relative (its parts but the last). With
  // make, missing folders are made and listed, and a link that the check
  // saw where a folder belongs is replaced by one; otherwise, and for any
  // other link, the walk fails.
  bool OpenFolderOf(const std::string& relative, bool make,
                    std::string* error) {
    chain_.clear();
    for (size_t start = 0, slash;
         (slash = relative.find('/', start)) != std::string::npos;
         start = slash + 1) {
      const HostFolder& parent = Folder();
      const std::string part = relative.substr(start, slash - start);
      const std::string below = relative.substr(0, slash);
      HostFolder next;
      std::string why;
      if (!OpenFolderIn(parent, part, &next, &why)) {
        const HostEntry there = InspectEntryIn(parent, part);
        const bool replace =
            there == HostEntry::kLink && linkedFolders_.count(below) != 0;
        if (!make || !(there == HostEntry::kMissing || replace) ||
            (replace && !RemoveEntryIn(parent, part, &why)) ||
            !MakeFolderIn(parent, part, &why) ||
            !OpenFolderIn(parent, part, &next, &why)) {
          *error = "cannot open the folder '" +
                   Printable(parent.path + "/" + part) + "': " + why;
          return false;
        }
        if (there == HostEntry::kMissing) made_.push_back(below);
      }
      chain_.push_back(std::move(next));
    }
    return true;
  }

  // The folder the last OpenFolderOf opened.
  const HostFolder& Folder() const {
    return chain_.empty() ? root_ : chain_.back();
  }

  // Removes the extractions' temporary files and, last made first, the
  // folders made, wherever they can still be reached.
  void Undo(const std::vector<Extraction>& plan) {
    std::string ignored;
    for (const Extraction& extraction : plan)
      if (!extraction.temporary.empty() &&
          OpenFolderOf(extraction.relative, false, &ignored))
        RemoveEntryIn(Folder(), extraction.temporary, &ignored);
    for (auto made = made_.rbegin(); made != made_.rend(); ++made)
      if (OpenFolderOf(*made, false, &ignored))
        RemoveEmptyFolderIn(Folder(), LastPart(*made));
    chain_.clear();
  }

  static std::string LastPart(const std::string& relative) {
    return relative.substr(relative.rfind('/') + 1);
  }

 private:
  const HostFolder& root_;
  const std::set<std::string>& linkedFolders_;
  std::vector<HostFolder> chain_;
  std::vector<std::string> made_;  // below the root, in the order made
};

// Writes the member of extraction into a new temporary file in folder and
// notes its name; the file is on the disk once root's file system is
// flushed, or at once. Returns what went wrong, or "".
std::string WriteTemporary(const OpenedArchive& archive,
                           const std::string& archivePath,
                           const HostFolder& root, const HostFolder& folder,
                           const std::unordered_set<std::string>& keys,
                           Extraction* extraction) {
  static std::mt19937 random{std::random_device()()};
  const std::string destination =
      folder.path + "/" + FolderWalk::LastPart(extraction->relative);
  const std::string beside =
      extraction->relative.substr(0, extraction->relative.rfind('/') + 1);
  FILE* out = nullptr;
  std::string error, name;
  for (int attempt = 0; out == nullptr; ++attempt) {
    char digits[9];
    (void)std::snprintf(digits, sizeof digits, "%08x", unsigned(random()));
    name = std::string(".fff") + digits + ".tmp";
    if (keys.count(HostKey(beside + name)) != 0) continue;  // a member's
    out = CreateFileIn(folder, name, &error);
    if (out == nullptr &&
        (attempt >= 16 || InspectEntryIn(folder, name) == HostEntry::kMissing))
      return "cannot create a file in '" + Printable(folder.path) +
             "': " + error;
  }
  extraction->temporary = name;
  const DirectoryEntry& entry = archive.directory.entries[extraction->index];
  if (!SeekFile(archive.stream, EntryOffset(entry)))
    error = "cannot seek in '" + Printable(archivePath) + "'";
  else
    error = CopyBlocks(archive.stream, archivePath, out, destination,
                       EntrySize(entry));
  if (error.empty() && !(FlushedWith(folder, root) ? std::fflush(out) == 0
                                                   : FlushToDisk(out, &error)))
    error = "writing '" + Printable(destination) +
            "' failed: " + (error.empty() ? std::strerror(errno) : error);
  if (std::fclose(out) != 0 && error.empty())
    error = "writing '" + Printable(destination) +
            "' failed: " + std::strerror(errno);
  return error;
}

// Writes every member of plan below root, then puts each in its place.
// Returns what went wrong, or "".
std::string ExtractAll(const OpenedArchive& archive,
                       const std::string& archivePath, const HostFolder& root,
                       const std::set<std::string>& linkedFolders,
                       std::vector<Extraction>* plan) {
  std::unordered_set<std::string> keys;
  for (const Extraction& extraction : *plan)
    keys.insert(HostKey(extraction.relative));
  FolderWalk walk(root, linkedFolders);
  std::string error;
  for (Extraction& extraction : *plan) {
    if (!walk.OpenFolderOf(extraction.relative, true, &error) ||
        !(error = WriteTemporary(archive, archivePath, root, walk.Folder(),
                                 keys, &extraction))
             .empty()) {
      walk.Undo(*plan);
      return "member '" +
             ShownName(EntryName(archive.directory.entries[extraction.index])) +
             "': " + error + "; no file was changed";
    }
  }
  if (!FlushFileSystem(root, &error)) {
    walk.Undo(*plan);
    return "cannot put the files written in '" + Printable(root.path) +
           "' on the disk: " + error + "; no file was changed";
  }
  for (Extraction& extraction : *plan) {
    const std::string name = FolderWalk::LastPart(extraction.relative);
    if (!walk.OpenFolderOf(extraction.relative, false, &error) ||
        !RenameIn(walk.Folder(), extraction.temporary, name, &error)) {
      const std::string shown = Printable(walk.Folder().path + "/" + name);
      walk.Undo(*plan);
      return "cannot put '" + shown + "' in its place: " + error +
             "; the members before it were extracted, it and those after "
             "it not";
    }
    extraction.temporary.clear();
  }
  // The new names: a file system that fails to flush them has them all
  // the same.
  FlushFileSystem(root, &error);
  return std::string();
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
  std::set<std::string> linkedFolders;
  if (!ChooseEntries(arguments, directory, &chosen) ||
      !PlanExtractions(archive, folder, directory, chosen, &plan) ||
      !CheckFolder(archive, directory, folder, plan, &linkedFolders))
    return kExitFailure;

  std::vector<std::string> made;
  std::string error;
  if (MakeExtractionFolder(folder, &made, &error)) {
    HostFolder root;
    if (!OpenHostFolder(folder, &root, &error))
      error = "cannot open the folder '" + Printable(folder) + "': " + error;
    else
      error = ExtractAll(opened, archive, root, linkedFolders, &plan);
  }
  if (error.empty()) return kExitSuccess;
  for (auto path = made.rbegin(); path != made.rend(); ++path)
    RemoveEmptyFolder(*path);
  Complain(archive, error);
  return kExitFailure;
}
