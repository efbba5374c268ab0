#include "programs/fff/folder_walk.h"

#include <random>

#include "programs/fff/fff_tool.h"
#include "programs/fff/member_name.h"

namespace {

// Leftovers nest no deeper than member names do (shorter than 128 bytes).
const int kDeepestLeftover = 64;

// Removes the folder name in parent and everything in it, never through a
// link; an unmarked link stays, and so does the folder holding it.
bool RemoveTreeIn(const HostFolder& parent, const std::string& name,
                  int depth) {
  std::vector<std::string> names;
  std::string ignored;
  {
    HostFolder folder;
    if (depth > kDeepestLeftover ||
        !OpenFolderIn(parent, name, &folder, &ignored) ||
        !ListEntriesIn(folder, &names, &ignored))
      return false;
    for (const std::string& inner : names) {
      const HostEntry there = InspectEntryIn(folder, inner);
      if (there == HostEntry::kFolder)
        RemoveTreeIn(folder, inner, depth + 1);
      else if (there != HostEntry::kUnmarkedLink)
        RemoveEntryIn(folder, inner);
    }
  }  // closed: Windows removes no folder held open
  return RemoveEmptyFolderIn(parent, name);
}

}  // namespace

bool IsTemporaryName(const std::string& name) {
  if (name.size() != kTemporaryNameLength || name.compare(0, 4, ".fff") != 0 ||
      name.compare(12, 4, ".tmp") != 0)
    return false;
  for (size_t i = 4; i < 12; ++i)
    if (!((name[i] >= '0' && name[i] <= '9') ||
          (name[i] >= 'a' && name[i] <= 'f')))
      return false;
  return true;
}

const FolderWalk::StandIn* FolderWalk::StandInFor(
    const std::string& relative) const {
  for (const StandIn& standIn : standIns_)
    if (!standIn.inPlace && standIn.relative == relative) return &standIn;
  return nullptr;
}

std::string FolderWalk::DiskName(const std::string& relative) const {
  const StandIn* standIn = StandInFor(relative);
  return standIn != nullptr ? standIn->name : LastPart(relative);
}

template <typename Create>
bool FolderWalk::CreateUnderTemporaryName(const HostFolder& folder,
                                          const std::string& beside,
                                          Create create, std::string* name,
                                          std::string* error) {
  static std::mt19937 random{std::random_device()()};
  for (int attempt = 0;; ++attempt) {
    char digits[9];
    (void)std::snprintf(digits, sizeof digits, "%08x", unsigned(random()));
    *name = std::string(".fff") + digits + ".tmp";
    if (keys_.count(HostNameKey(beside + *name)) != 0) continue;  // a member's
    if (create(*name, error)) return true;
    if (attempt >= 16 || InspectEntryIn(folder, *name) == HostEntry::kMissing)
      return false;
  }
}

void FolderWalk::ClearLeftoversIn(const HostFolder& folder,
                                  const std::string& beside) {
  std::vector<std::string> names;
  std::string ignored;
  ListEntriesIn(folder, &names, &ignored);
  for (const std::string& name : names) {
    if (!IsTemporaryName(name) || keys_.count(HostNameKey(beside + name)) != 0)
      continue;
    const HostEntry there = InspectEntryIn(folder, name);
    if (there == HostEntry::kFolder)
      RemoveTreeIn(folder, name, 0);
    else if (there == HostEntry::kFile || there == HostEntry::kLink)
      RemoveEntryIn(folder, name);
  }
}

bool FolderWalk::MakeFolderFor(const HostFolder& parent,
                               const std::string& below, HostFolder* next,
                               std::string* why) {
  const HostEntry there = InspectEntryIn(parent, LastPart(below));
  if (there == HostEntry::kLink && linkedFolders_.count(below) != 0) {
    std::string name;
    if (!CreateUnderTemporaryName(
            parent, below.substr(0, below.rfind('/') + 1),
            [&](const std::string& candidate, std::string* error) {
              return MakeFolderIn(parent, candidate, error);
            },
            &name, why))
      return false;
    standIns_.push_back({below, name, false});
  } else if (there != HostEntry::kMissing ||
             !MakeFolderIn(parent, LastPart(below), why)) {
    return false;  // why still says why it could not be opened
  }
  made_.push_back(below);
  return OpenFolderIn(parent, DiskName(below), next, why);
}

bool FolderWalk::OpenFolderOf(const std::string& relative, bool make,
                              std::string* error) {
  chain_.clear();
  beneathStandIn_ = false;
  for (size_t start = 0, slash;
       (slash = relative.find('/', start)) != std::string::npos;
       start = slash + 1) {
    const HostFolder& parent = Folder();
    const std::string below = relative.substr(0, slash);
    const bool standIn = StandInFor(below) != nullptr;
    HostFolder next;
    std::string why;
    if (!OpenFolderIn(parent, DiskName(below), &next, &why) &&
        !(make && !standIn && MakeFolderFor(parent, below, &next, &why))) {
      *error = "cannot open the folder '" +
               Printable(root_.path + "/" + below) + "': " + why;
      return false;
    }
    beneathStandIn_ = beneathStandIn_ || StandInFor(below) != nullptr;
    if (make && !beneathStandIn_ && cleared_.insert(below).second)
      ClearLeftoversIn(next, below + "/");
    chain_.push_back(std::move(next));
  }
  return true;
}

FILE* FolderWalk::CreateFileFor(Extraction* extraction, std::string* error) {
  const HostFolder& folder = Folder();
  FILE* out = nullptr;
  auto create = [&](const std::string& name, std::string* why) {
    return (out = CreateFileIn(folder, name, why)) != nullptr;
  };
  extraction->inStandIn = beneathStandIn_;
  const std::string& relative = extraction->relative;
  const bool created =
      beneathStandIn_
          ? create(extraction->temporary = LastPart(relative), error)
          : CreateUnderTemporaryName(
                folder, relative.substr(0, relative.rfind('/') + 1), create,
                &extraction->temporary, error);
  if (!created) {
    extraction->temporary.clear();
    const size_t slash = relative.rfind('/');
    *error = "cannot create a file in '" +
             Printable(root_.path + (slash == std::string::npos
                                         ? ""
                                         : "/" + relative.substr(0, slash))) +
             "': " + *error;
  }
  return out;
}

bool FolderWalk::SwapStandIn(const StandIn& standIn, std::string* error) {
  const std::string& relative = standIn.relative;
  std::string aside;
  return OpenFolderOf(relative, false, error) &&
         CreateUnderTemporaryName(
             Folder(), relative.substr(0, relative.rfind('/') + 1),
             [&](const std::string& candidate, std::string*) {
               return InspectEntryIn(Folder(), candidate) ==
                      HostEntry::kMissing;
             },
             &aside, error) &&
         ExchangeIn(Folder(), LastPart(relative), standIn.name, aside, error);
}

std::string FolderWalk::PutStandInsInPlace() {
  for (size_t i = 0; i < standIns_.size(); ++i) {
    std::string error;
    if (SwapStandIn(standIns_[i], &error)) {
      standIns_[i].inPlace = true;
      continue;
    }
    error = "cannot put a folder in the place of the link '" +
            Printable(root_.path + "/" + standIns_[i].relative) + "': " + error;
    std::string stuck;
    for (size_t back = i; back-- > 0;) {
      std::string ignored;
      standIns_[back].inPlace = !SwapStandIn(standIns_[back], &ignored);
      if (standIns_[back].inPlace)
        stuck += (stuck.empty() ? "'" : ", '") +
                 Printable(root_.path + "/" + standIns_[back].relative) + "'";
    }
    return error + (stuck.empty() ? "; no file was changed"
                                  : "; a folder with the members beneath it "
                                    "took the place of the link " +
                                        stuck + ", no other file was changed");
  }
  // The links, now under the stand-ins' names, go; one that stays is
  // cleared as a leftover by the next extract.
  for (const StandIn& standIn : standIns_) {
    std::string ignored;
    if (OpenFolderOf(standIn.relative, false, &ignored))
      RemoveEntryIn(Folder(), standIn.name);
  }
  return std::string();
}

std::string FolderWalk::StandInsShown() const {
  std::string shown;
  for (const StandIn& standIn : standIns_)
    shown += (shown.empty() ? "'" : ", '") +
             Printable(root_.path + "/" + standIn.relative) + "'";
  return shown;
}

void FolderWalk::Undo(const std::vector<Extraction>& plan) {
  std::string ignored;
  // A file written in a stand-in that stays in place stays with it.
  for (const Extraction& extraction : plan)
    if (!extraction.temporary.empty() &&
        OpenFolderOf(extraction.relative, false, &ignored) &&
        extraction.inStandIn == beneathStandIn_)
      RemoveEntryIn(Folder(), extraction.temporary);
  for (auto made = made_.rbegin(); made != made_.rend(); ++made)
    if (OpenFolderOf(*made, false, &ignored))
      RemoveEmptyFolderIn(Folder(), DiskName(*made));
  chain_.clear();
}
