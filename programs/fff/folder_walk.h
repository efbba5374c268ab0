// How extract reaches the folders below the chosen one: one part at a time
// and never through a link, making the folders missing, and clearing the
// leftovers of an earlier extract that was killed.
//
// A link where a folder belongs is replaced, but only once every member is
// written: meanwhile a stand-in folder under a temporary name beside the
// link holds the members beneath it, under their own names, and the two
// are swapped at the end. Until then every link and folder of the user's is
// as it was.
#ifndef GRAVELHORN_FFF_FOLDER_WALK_H_
#define GRAVELHORN_FFF_FOLDER_WALK_H_

#include <cstdint>
#include <cstdio>
#include <set>
#include <string>
#include <unordered_set>
#include <vector>

#include "programs/fff/host_files.h"

// ".fff", eight hexadecimal digits and ".tmp": short, so that a name that
// fits fits beside it.
const size_t kTemporaryNameLength = 16;

// Whether name is one of extract's temporary names.
bool IsTemporaryName(const std::string& name);

struct Extraction {
  int32_t index;
  std::string relative;    // host text below the folder, '/' separators
  std::string temporary;   // the file written for it, until it is in place
  bool inStandIn = false;  // written under its own name in a stand-in
};

class FolderWalk {
 public:
  // linkedFolders: the links where a folder belongs (paths below root);
  // keys: the HostNameKeys of every member's path, which no temporary name
  // takes.
  FolderWalk(const HostFolder& root, const std::set<std::string>& linkedFolders,
             const std::unordered_set<std::string>& keys)
      : root_(root), linkedFolders_(linkedFolders), keys_(keys) {}

  // Removes the temporary files and stand-ins that a killed extract left in
  // root; OpenFolderOf with make does so in every folder it opens.
  void ClearLeftoversInRoot() { ClearLeftoversIn(root_, ""); }

  // Opens the folder that holds relative (its parts but the last). With
  // make, missing folders are made, and a link that the check saw where a
  // folder belongs gets a stand-in; otherwise, and for any other link, the
  // walk fails.
  bool OpenFolderOf(const std::string& relative, bool make, std::string* error);

  // The folder the last OpenFolderOf opened.
  const HostFolder& Folder() const {
    return chain_.empty() ? root_ : chain_.back();
  }

  // Creates the file for extraction in Folder() and notes its name: in a
  // stand-in its own, elsewhere a new temporary name. Returns nullptr and
  // says why in *error when it cannot.
  FILE* CreateFileFor(Extraction* extraction, std::string* error);

  // Puts every stand-in in the place of its link and removes the links; all
  // or none. Returns "", or what went wrong and what was changed.
  std::string PutStandInsInPlace();

  // The folders that took the place of links, as messages show them; "".
  std::string StandInsShown() const;

  // Removes the files of plan not yet in place and, last made first, the
  // folders and stand-ins made, wherever they can still be reached.
  void Undo(const std::vector<Extraction>& plan);

  static std::string LastPart(const std::string& relative) {
    return relative.substr(relative.rfind('/') + 1);
  }

 private:
  struct StandIn {
    std::string relative;  // the link's path below root
    std::string name;      // the stand-in's temporary name beside it
    bool inPlace;
  };

  const StandIn* StandInFor(const std::string& relative) const;
  std::string DiskName(const std::string& relative) const;
  bool MakeFolderFor(const HostFolder& parent, const std::string& below,
                     HostFolder* next, std::string* why);
  template <typename Create>
  bool CreateUnderTemporaryName(const HostFolder& folder,
                                const std::string& beside, Create create,
                                std::string* name, std::string* error);
  void ClearLeftoversIn(const HostFolder& folder, const std::string& beside);
  bool SwapStandIn(const StandIn& standIn, std::string* error);

  const HostFolder& root_;
  const std::set<std::string>& linkedFolders_;
  const std::unordered_set<std::string>& keys_;
  std::vector<HostFolder> chain_;
  bool beneathStandIn_ = false;    // of the last folder opened
  std::vector<std::string> made_;  // below the root, in the order made
  std::vector<StandIn> standIns_;
  std::set<std::string> cleared_;  // the folders cleared of leftovers
};

#endif  // GRAVELHORN_FFF_FOLDER_WALK_H_
