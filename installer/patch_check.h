// The check a run makes before it replaces the first file: every file it
// copies is in Patch.dat whole, and every game file it replaces can be
// replaced.
#ifndef GRAVELHORN_INSTALLER_PATCH_CHECK_H_
#define GRAVELHORN_INSTALLER_PATCH_CHECK_H_

#include "installer/copy_files.h"
#include "installer/patch_files.h"

// What CheckPatchFiles found.
struct PatchCheck {
  int file = -1;                        // the first of the files that fails
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
