// fff check --patch: whether an archive is a whole Patch.dat for the given
// language codes, judged by the run's own lookup (installer/patch_files.h)
// and its own version detection.
#include <algorithm>

#include "filesystem/file_handle.h"
#include "installer/patch_files.h"
#include "installer/settings.h"
#include "installer/version_detection.h"
#include "platform/code_page.h"
#include "platform/disk_file.h"
#include "programs/fff/fff_tool.h"

namespace {

// A file that runs copy, and the codes whose runs copy it.
struct NeededFile {
  std::string source;  // the installer's name, with backslashes
  std::string codes;   // "eng, hun", as the user gave them
  bool languageArchive;
};

std::string AsMember(std::string source) {
  std::replace(source.begin(), source.end(), '\\', '/');
  return ShownName(source);
}

// What keeps the language archive entry (whole in the archive) from
// patching for good: a patched game's Patch12.cod is this archive, whose
// Cfg/Menu.cfg the next run's version detection reads first, and it must
// refuse it. "" when it does; the version it reads goes to *version.
std::string CheckLanguageArchive(FILE* stream, const DirectoryEntry& entry,
                                 std::string* version) {
  const uint64_t base = EntryOffset(entry);
  ArchiveDirectory inner;
  const DirectoryError error =
      SeekStream(stream, int64_t(base))
          ? ReadArchiveDirectory(stream, EntrySize(entry), &inner)
          : DirectoryError::kHeader;
  if (error == DirectoryError::kNoMemory)
    return "not enough memory for the directory of this archive";
  if (error != DirectoryError::kNone)
    return std::string("a game cannot mount it as Patch12.cod (\"") +
           DirectoryErrorWords(error) + "\")";
  const MemberFinding menu = FindPatchMember(inner, "Cfg\\Menu.cfg");
  if (menu.state == MemberState::kMissing)
    return "it holds no Cfg/Menu.cfg, so the patched game's version is "
           "read from its older archives and every run patches it again";
  const DirectoryEntry& menuEntry = inner.entries[menu.entry];
  const uint64_t offset = base + EntryOffset(menuEntry);
  // A member's offset is 32 bits: one 4 GiB into Patch.dat, past what a
  // language archive can point at, is out of reach too.
  if (menu.state != MemberState::kWhole || offset > UINT32_MAX)
    return "its Cfg/Menu.cfg runs past the end of this archive";
  char label[kBaseVersionSize];
  const VersionVerdict verdict =
      JudgeMenu(new ArchivedFile(stream, uint32_t(offset), EntrySize(menuEntry),
                                 int64_t(base + EntrySize(entry))),
                label, sizeof label);
  *version = ShownName(label);
  if (verdict == VersionVerdict::kAccepted)
    return "its Cfg/Menu.cfg reads '" + *version +
           "', a version this patch upgrades, so every run patches the game "
           "again";
  return std::string();
}

}  // namespace

void FindPatchProblems(const OpenedArchive& archive,
                       const std::vector<std::string>& codes,
                       PatchReport* report) {
  const ArchiveDirectory& directory = archive.directory;
  std::vector<NeededFile> needed;
  for (const std::string& code : codes) {
    std::string narrow;
    (void)HostToNarrow(code, &narrow);
    PatchFile files[kPatchFileCount];
    ListPatchFiles(narrow.c_str(), files);
    for (int i = 0; i < kPatchFileCount; ++i) {
      auto same = [&](const NeededFile& file) {
        return LookupKey(file.source) == LookupKey(files[i].source);
      };
      auto known = std::find_if(needed.begin(), needed.end(), same);
      if (known == needed.end())
        needed.push_back({files[i].source, Printable(code), i == 3});
      else
        known->codes += ", " + Printable(code);
    }
  }

  std::vector<bool> copied(size_t(directory.entryCount), false);
  for (const NeededFile& file : needed) {
    const std::string member = AsMember(file.source);
    const std::string copier = "a run for " + file.codes + " copies " + member;
    const MemberFinding found = FindPatchMember(directory, file.source.c_str());
    if (found.entry >= 0) copied[size_t(found.entry)] = true;
    // A member cut short the plain check names: its data runs past the
    // end of the file.
    if (found.state == MemberState::kMissing) {
      std::string problem = copier + ", which the archive does not hold";
      const std::string bare = file.source.substr(1);
      const int32_t without =
          FindDirectoryEntry(directory, bare, NameHash(bare.c_str()));
      if (without >= 0) {
        problem += "; " + DescribeEntry(directory, without) +
                   " lacks the leading '/': store it as " + member + "=FILE";
        copied[size_t(without)] = true;  // named here, not as an extra
      }
      report->problems.push_back(problem);
    } else if (found.state == MemberState::kTooLarge) {
      report->problems.push_back(copier +
                                 " of 2 GiB or more, which it cannot copy");
    } else if (found.state == MemberState::kWhole && file.languageArchive) {
      std::string version;
      const std::string problem = CheckLanguageArchive(
          archive.stream, directory.entries[found.entry], &version);
      if (!problem.empty())
        report->problems.push_back(member + ": " + problem);
      else
        report->notes.push_back(member + ": its Cfg/Menu.cfg reads '" +
                                version + "'");
    }
  }

  std::string all;
  for (const std::string& code : codes)
    all += (all.empty() ? "" : ", ") + Printable(code);
  const std::vector<int32_t> found = FindEntriesFound(directory);
  for (int32_t i = 0; i < directory.entryCount; ++i)
    if (!copied[size_t(i)] && found[size_t(i)] == i)
      report->warnings.push_back(DescribeEntry(directory, i) +
                                 " is copied by no run for " + all);
}
