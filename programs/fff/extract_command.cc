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
// belongs, refuses the extraction. (Under Wine a Unix link where a folder
// belongs is refused: Wine would follow it even to remove it.)
//
// Then each member is written into a temporary file beside its place (or
// into the stand-in folder that replaces a link, folder_walk.h), and all
// are put on the disk (on Linux in one flush of the file system, which for
// many small files costs a fraction of one flush each); only then do the
// stand-ins take their links' places, and each file its name, in one
// rename. A failure before that removes the temporary files, stand-ins and
// folders made, so every file, link and folder is as it was. Two extracts
// never work in one folder at once, and each clears what a killed one left.
#include <cerrno>
#include <cstring>
#include <set>
#include <unordered_set>

#include "platform/code_page.h"
#include "programs/fff/fff_tool.h"
#include "programs/fff/folder_walk.h"
#include "programs/fff/host_files.h"
#include "programs/fff/member_name.h"

namespace {

// What keeps this system from creating the member's path below folder.
std::string HostNameProblem(std::string_view name, const std::string& folder,
                            const std::string& relative) {
  const std::string problem = HostFileNameProblem(name);
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
    keys.push_back(HostNameKey(relative));
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
      if (there == HostEntry::kUnmarkedLink) {
        problem = quoted +
                  " is a link that Windows programs see as a plain folder "
                  "here (a Unix link under Wine): extract neither follows "
                  "nor replaces it";
        break;
      }
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
  for (size_t end = folder.find_first_of(kHostFolderSeparators, 1);;
       end = folder.find_first_of(kHostFolderSeparators, end + 1)) {
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

// Writes the member of extraction into a new file in the folder walk
// opened; the file is on the disk once root's file system is flushed, or
// at once. Returns what went wrong, or "".
std::string WriteMember(const OpenedArchive& archive,
                        const std::string& archivePath, const HostFolder& root,
                        FolderWalk* walk, Extraction* extraction) {
  const HostFolder& folder = walk->Folder();
  std::string error;
  FILE* out = walk->CreateFileFor(extraction, &error);
  if (out == nullptr) return error;
  const std::string destination = root.path + "/" + extraction->relative;
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
    keys.insert(HostNameKey(extraction.relative));
  FolderWalk walk(root, linkedFolders, keys);
  walk.ClearLeftoversInRoot();
  std::string error;
  for (Extraction& extraction : *plan) {
    if (!walk.OpenFolderOf(extraction.relative, true, &error) ||
        !(error = WriteMember(archive, archivePath, root, &walk, &extraction))
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
  if (!(error = walk.PutStandInsInPlace()).empty()) {
    walk.Undo(*plan);
    return error;
  }
  for (Extraction& extraction : *plan)
    if (extraction.inStandIn) extraction.temporary.clear();  // in place
  const std::string standIns = walk.StandInsShown();
  for (Extraction& extraction : *plan) {
    if (extraction.inStandIn) continue;
    const std::string name = FolderWalk::LastPart(extraction.relative);
    if (!walk.OpenFolderOf(extraction.relative, false, &error) ||
        !RenameIn(walk.Folder(), extraction.temporary, name, &error)) {
      const std::string shown = Printable(walk.Folder().path + "/" + name);
      walk.Undo(*plan);
      return "cannot put '" + shown + "' in its place: " + error +
             "; the members before it were extracted, it and those after "
             "it not" +
             (standIns.empty() ? ""
                               : " (but for those beneath " + standIns +
                                     ", which took the place of links: all "
                                     "of them were)");
    }
    extraction.temporary.clear();
  }
  // The new names: a file system that fails to flush them has them all
  // the same.
  FlushFileSystem(root, &error);
  return std::string();
}

// Holds root for this extract, saying so when another extract holds it.
void HoldForThisExtract(const std::string& archive, const HostFolder& root) {
  if (HoldFolderForThisRun(root, false)) return;
  Complain(archive, "waiting while another fff extract works in '" +
                        Printable(root.path) + "'");
  HoldFolderForThisRun(root, true);
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
      !PlanExtractions(archive, folder, directory, chosen, &plan))
    return kExitFailure;
  // Held before the folder is looked at: another extract there changes it.
  HostFolder root;
  std::string error;
  if (OpenHostFolder(folder, &root, &error)) HoldForThisExtract(archive, root);
  if (!CheckFolder(archive, directory, folder, plan, &linkedFolders))
    return kExitFailure;

  std::vector<std::string> made;
  if (MakeExtractionFolder(folder, &made, &error)) {
    const bool held = root.handle != -1;
    if (!held && !OpenHostFolder(folder, &root, &error)) {
      error = "cannot open the folder '" + Printable(folder) + "': " + error;
    } else {
      if (!held) HoldForThisExtract(archive, root);
      error = ExtractAll(opened, archive, root, linkedFolders, &plan);
    }
  }
  if (error.empty()) return kExitSuccess;
  for (auto path = made.rbegin(); path != made.rend(); ++path)
    RemoveEmptyFolder(*path);
  Complain(archive, error);
  return kExitFailure;
}
