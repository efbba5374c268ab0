// The check a run makes before it replaces the first file, and the parts of
// it with which fff check --patch and the Linux program's --list and hints
// judge a Patch.dat: which files a run copies, and whether each is there
// whole.
#ifndef GRAVELHORN_INSTALLER_PATCH_CHECK_H_
#define GRAVELHORN_INSTALLER_PATCH_CHECK_H_

#include <cstdint>

#include "filesystem/archive_directory.h"
#include "filesystem/archive_table.h"
#include "installer/copy_files.h"

// One file a run copies: the name it looks up among the archives (as the
// installer names it, with a leading backslash) and the name it goes under,
// appended to the game's folder.
struct PatchFile {
  char source[kFileNameSize];  // "\Gravelhorn_d3d.exe", "\Patch_eng.cod"
  const char* destination;     // "\Gravelhorn_d3d.exe", "\Patch12.cod"
};
const int kPatchFileCount = 4;

// The files a run for the registry's language code copies, in the order it
// copies them: its edition's three executables, then the language's
// archive, which becomes Patch12.cod.
void ListPatchFiles(const char* languageValue,
                    PatchFile files[kPatchFileCount]);

// How a member that a run copies lies in an archive.
enum class MemberState {
  kWhole,
  kMissing,   // no entry of that name: the copy's "File not found:"
  kCutShort,  // its bytes run past the archive's end: "Unable to update"
  kTooLarge,  // 2 GiB or more, which the copy refuses the same way
};
struct MemberFinding {
  MemberState state = MemberState::kMissing;
  int32_t entry = -1;          // its entry in the archive, where it has one
  uint64_t end = 0;            // the member's offset plus its size
  int64_t archiveLength = -1;  // the archive's length, as read
};

// The member source (the installer's name, with backslashes) in
// directory, found as a copy finds it: '\' as '/', in any ASCII letter
// case, the first entry of the name. It is whole when its bytes lie within
// the archive's length as the directory was read with it.
MemberFinding FindPatchMember(const ArchiveDirectory& directory,
                              const char* source);

// The same among the registered archives, where a copy looks: in the first
// that holds it. *slot, when given, is that archive's slot, or -1.
MemberFinding FindRegisteredMember(const char* source, int32_t* slot = nullptr);

// What CheckPatchFiles found.
struct PatchCheck {
  int file = -1;  // the first of the files that fails; -1: none
  bool destinationFailed = false;       // its destination, not its member
  MemberFinding member;                 // its member, where that was looked up
  char boxText[kCopyFailureSize] = {};  // the box its copy would end with
};

// Checks the files a run copies into installPath (which ends in a
// backslash), in the order it copies them, each as its copy would: the
// destination fits its buffers, the member is among the registered
// archives whole, and the destination can be replaced (CanReplaceDiskFile).
// Changes nothing. True when every file passes; otherwise false, with the
// first that fails and the text of the box its copy would end the run with
// in *check. What only the copy itself meets (a full disk, a read error,
// too little memory, a file another program takes meanwhile) passes here.
bool CheckPatchFiles(const char* installPath,
                     const PatchFile files[kPatchFileCount], PatchCheck* check);

#endif  // GRAVELHORN_INSTALLER_PATCH_CHECK_H_
