// The files a run copies out of Patch.dat and where each goes, and how a
// member lies in an archive: what the run's check (patch_check.h), fff check
// --patch and the Linux program's hints and --list judge a Patch.dat by.
#ifndef GRAVELHORN_INSTALLER_PATCH_FILES_H_
#define GRAVELHORN_INSTALLER_PATCH_FILES_H_

#include <cstdint>

#include "filesystem/archive_directory.h"
#include "filesystem/archive_table.h"

// Three executable names, d3d, glide, gl, each beginning with a backslash:
// looked up as they are, and appended to InstallPath as the destination.
typedef const char* const ExecutableSet[3];

extern ExecutableSet GermanEditionExecutables;
extern ExecutableSet StandardEditionExecutables;
// The language patch archive: the Patch.dat member for a language code
// (printf format, the code as stored), and the game file it replaces.
extern const char kLanguagePatchFormat[];
extern const char kLanguagePatchDestination[];

// Whether a run for the registry's language code patches the German
// edition: the code holds "ger", case-sensitively ("GER" selects the
// German messages but the international edition).
bool GermanEditionApplies(const char* languageValue);

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
// that holds it.
MemberFinding FindRegisteredMember(const char* source);

#endif  // GRAVELHORN_INSTALLER_PATCH_FILES_H_
