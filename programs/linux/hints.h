// What the Linux program tells the player after a box, on standard error,
// in lines that begin with "patch_installer: ": the prefix it used and
// where that came from, and after an error box what is wrong and how to
// put it right.
#ifndef GRAVELHORN_PROGRAMS_LINUX_HINTS_H_
#define GRAVELHORN_PROGRAMS_LINUX_HINTS_H_

#include <cstdio>

// Prints the lines that follow a box showing boxText: the prefix; after an
// error box also, as far as they apply, what is wrong with the prefix (no
// such folder, no registry, an unreadable one, a missing c: drive), with
// the registry (the game's key missing, only in the 64-bit view, or not
// saved yet by a running Wine server; the prefixes that hold it; values
// missing; the game's folder missing) and with each file the box names
// (its folder where the folder cannot be written; the game's archives
// where the menu is not on disk). Every line is shown escaped
// (platform/shown_text.h).
void PrintHints(FILE* out, const char* boxText, bool afterError);

#endif  // GRAVELHORN_PROGRAMS_LINUX_HINTS_H_
