// Replacing a file in the game's folder whole or not at all.
#ifndef GRAVELHORN_PLATFORM_FILE_REPLACEMENT_H_
#define GRAVELHORN_PLATFORM_FILE_REPLACEMENT_H_

#include <cstddef>

// The temporary file beside a destination is named after it, with this
// ending: a run killed midway leaves at most this one file, which the next
// run clears.
extern const char kReplacementEnding[5];  // ".tmp"

// How long, in all, the Windows program tries again a file that another
// program holds: about two seconds.
const unsigned kBusyFileRetryMilliseconds = 2000;

// Puts size bytes of data in place of the disk file windowsPath (a Windows
// path, mapped on Linux as disk_file.h says). The bytes go into
// windowsPath + kReplacementEnding, which is written whole, flushed to the
// disk and closed, and only then renamed over the destination in one step
// (rename on Linux, MoveFileExA on Windows): a link there is replaced, never
// its target. Until that step the destination is untouched. An existing
// destination keeps its name as found on disk, its permissions and its DOS
// attributes (hidden, system, archive; on Linux Wine's user.DOSATTRIB).
//
// Whatever a killed run or anything else left under the temporary name is
// cleared first without following a link (a file of any attributes, an
// empty folder; on Linux also a link or a fifo), and nothing is written
// through it. When the destination is missing and that leftover holds
// exactly these bytes, it is the new file of a run whose last step failed:
// it is put in place as it is.
//
// On Windows a file that another program holds for a moment (a virus
// scanner, an indexer) is tried again for kBusyFileRetryMilliseconds.
//
// Returns false when any step fails, and also when the destination cannot
// be written (a missing folder, a folder or device in its place, a
// read-only or locked file) or the temporary name cannot be cleared. The
// destination is then as it was, and no temporary file is left, except one
// holding the whole new file while the destination is missing: that is the
// only copy, which the next run puts in place. When what failed is the
// temporary name (what is there stays in the way: a link, a file another
// program holds, a folder with something in it), *temporaryInTheWay, when
// given, is set to true, so that the player is shown that name.
bool ReplaceDiskFile(const char* windowsPath, const void* data, size_t size,
                     bool* temporaryInTheWay = nullptr);

// Whether ReplaceDiskFile would put a file in place of windowsPath, as far
// as can be told without changing anything: the path can be written (on
// Linux, on a drive of the prefix), what is there is a file that is not
// read-only, its folder takes a new file (Linux), and no folder with
// something in it holds the temporary name. A run asks this of every file
// before it replaces the first. Changes nothing; a refusal is noted as
// ReplaceDiskFile notes it, and *temporaryInTheWay set as it sets it.
bool CanReplaceDiskFile(const char* windowsPath,
                        bool* temporaryInTheWay = nullptr);

// Makes the replacements since the last call survive a power cut. On Linux
// each file is flushed before its rename, and this flushes the folders the
// renames changed, once; on Windows each move is written through already.
// A run calls it once, after its last replacement.
void FlushReplacedFolders();

#endif  // GRAVELHORN_PLATFORM_FILE_REPLACEMENT_H_
