#include "installer/patch_application.h"

#include <cstdio>
#include <cstring>

#include "filesystem/archive_table.h"
#include "installer/messages.h"
#include "installer/patch_check.h"
#include "installer/settings.h"
#include "installer/version_detection.h"
#include "platform/file_replacement.h"
#include "platform/message_box.h"

const char* const UpgradedVersionNames[2] = {"Gravelhorn v1.2",
                                             "Kieselfuchs v1.2"};

char SummaryText[kSummaryTextSize];

void ComposeSummary(bool germanEdition) {
  // The summary is only shown: a text longer than its buffer may be cut.
  int length;
  if (germanEdition) {
    length = snprintf(
        SummaryText, sizeof SummaryText,
        " Path:\t\t%s \n Basic version:\t%s (%s)\n Upgraded version:\t%s "
        "(%s)\n\n Installed.\n",
        InstallPath, BaseVersion, LanguageValue, UpgradedVersionNames[1],
        LanguageValue);
  } else {
    length = snprintf(
        SummaryText, sizeof SummaryText,
        " %s %s \n %s %s (%s)\n %s %s (%s)\n\n %s\n",
        MessageText(MESSAGE_PATH_LABEL), InstallPath,
        MessageText(MESSAGE_BASE_VERSION_LABEL), BaseVersion, LanguageValue,
        MessageText(MESSAGE_UPGRADED_VERSION_LABEL), UpgradedVersionNames[0],
        LanguageValue, MessageText(MESSAGE_INSTALLED));
  }
  if (length < 0) SummaryText[0] = '\0';
}

void ApplyPatch() {
  if (!DetectBaseVersion()) FatalError(MessageText(MESSAGE_PATCH_TOO_OLD));
  MountArchive("Patch.dat");

  // Every file is checked before the first is replaced: a Patch.dat cut
  // short or lacking a file, or a game file that cannot be replaced, ends
  // the run with the box its copy would give, and the game as it was.
  PatchFile files[kPatchFileCount];
  ListPatchFiles(LanguageValue, files);
  PatchCheck check;
  if (!CheckPatchFiles(InstallPath, files, &check)) FatalError(check.boxText);

  const bool germanEdition = GermanEditionApplies(LanguageValue);
  CopyFileSet(germanEdition ? GermanEditionExecutables
                            : StandardEditionExecutables);
  ComposeSummary(germanEdition);

  const PatchFile& languagePatch = files[kPatchFileCount - 1];
  char destination[kInstallPathSize];
  JoinDestination(destination, sizeof destination, InstallPath,
                  languagePatch.destination);
  CopyOneFile(languagePatch.source, destination);
  // Each file went to the disk before its rename; the renames go now.
  FlushReplacedFolders();

  ShowMessage(SummaryText, MessageText(MESSAGE_TITLE), MESSAGE_STYLE_PLAIN);
  CloseAllArchives();
}
