// The disk operations of the fff tool, on host paths (UTF-8 on Linux, the
// ANSI code page on Windows). Only OpenRegularFile, which reads,
// OpenHostFolder and SameFile follow a link at the path they are given.
// Each failing call returns false or nullptr and puts the system's reason
// into *error.
#ifndef GRAVELHORN_FFF_HOST_FILES_H_
#define GRAVELHORN_FFF_HOST_FILES_H_

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// Whether path is absolute on this system (on Windows also a drive, or a
// path from the root of the current drive).
bool IsAbsoluteHostPath(const std::string& path);

// The bytes that separate folders in this system's paths: '/', and on
// Windows '\' too.
extern const char kHostFolderSeparators[];

// What keeps this system from creating a file of the member name name
// (LinuxFileNameProblem or WindowsFileNameProblem); "" when nothing does.
std::string HostFileNameProblem(std::string_view name);

// The key that names which this system takes for one share: the lookup
// key on Linux (ASCII letter case), Windows' own on Windows (letter case in
// every script).
std::string HostNameKey(const std::string& relative);

// What is at a path, the link itself where there is one. On Windows every
// reparse point (a symbolic link, a junction) is a link. An unmarked link
// is one that the system shows as a plain file or folder, with no reparse
// point: a Unix link under Wine, found because the entry turns out to be
// elsewhere than its folder says. Wine follows it even when it is removed,
// so it is neither removed nor followed. (Linux never finds one.)
enum class HostEntry { kMissing, kFile, kFolder, kLink, kUnmarkedLink, kOther };
HostEntry InspectHostEntry(const std::string& path);

// Why a file written for path must not take its place: "" when nothing is
// there or a regular file is; otherwise what is there, the link itself
// where there is one ("it is a pipe, not a file").
std::string ReplacementProblem(const std::string& path);

// Opens a regular file (links followed) for reading and gives its length.
// A folder, a fifo, a device or a socket is refused at once, in words a
// user understands: the open never waits for the other end of a fifo.
FILE* OpenRegularFile(const std::string& path, uint64_t* length,
                      std::string* error);

// Creates a new file for writing; fails when anything, a dangling link
// included, is at path already.
FILE* CreateNewFile(const std::string& path, std::string* error);

bool MakeFolder(const std::string& path, std::string* error);

// Removes a file or a link (to a folder too), never what a link points to:
// a clean-up's removal, which leaves in place what it cannot remove.
void RemoveEntry(const std::string& path);

// Renames the file from to to when nothing or a regular file is at to,
// looking again at what the rename actually replaces (on Linux it swaps
// the two and puts back anything but a regular file). Anything else at to
// stays, and *error says what it is.
bool ReplaceRegularFile(const std::string& from, const std::string& to,
                        std::string* error);

// Whether the two paths name one file (hard links included).
bool SameFile(const std::string& a, const std::string& b);

// Moves stream to position, counted from the start; 64-bit everywhere.
bool SeekFile(FILE* stream, uint64_t position);

// Removes the folder at path when it is empty.
bool RemoveEmptyFolder(const std::string& path);

// What keeps the system's calls from reaching relative ('/' between parts)
// below folder, or a name of extraLength bytes beside it: on Windows a full
// path of MAX_PATH or more. "" when nothing does (Linux opens one part at a
// time, and each part's length is the member-name check's).
std::string HostPathProblem(const std::string& folder,
                            const std::string& relative, size_t extraLength);

// Writes out stream's buffer and has the system put the file's bytes on the
// disk, so that a power cut after a rename never leaves an empty file.
bool FlushToDisk(FILE* stream, std::string* error);

// A folder held open while extract works beneath it. On Linux every name
// beneath it is reached through its descriptor, one part at a time, so no
// link on the way is followed; on Windows it is held without delete
// sharing, so that nobody renames, removes or replaces it meanwhile.
struct HostFolder {
  HostFolder() = default;
  ~HostFolder();
  HostFolder(HostFolder&& other) noexcept { *this = std::move(other); }
  HostFolder& operator=(HostFolder&& other) noexcept {
    std::swap(path, other.path);
    std::swap(handle, other.handle);
    return *this;
  }

  std::string path;      // as messages show it; Windows works through it
  intptr_t handle = -1;  // a descriptor, or a HANDLE; -1 when closed
};

// Opens the folder at path, links followed: the folder the user chose.
bool OpenHostFolder(const std::string& path, HostFolder* folder,
                    std::string* error);

// Opens the folder name inside parent, never through a link: a link there,
// or anything but a folder, fails.
bool OpenFolderIn(const HostFolder& parent, const std::string& name,
                  HostFolder* folder, std::string* error);

// What is at name inside folder, the link itself where there is one.
HostEntry InspectEntryIn(const HostFolder& folder, const std::string& name);

bool MakeFolderIn(const HostFolder& folder, const std::string& name,
                  std::string* error);

// Removes the file or link name (a link to a folder too), never what a
// link points to; like RemoveEntry, a clean-up's removal.
void RemoveEntryIn(const HostFolder& folder, const std::string& name);

// Removes name when it is an empty folder.
bool RemoveEmptyFolderIn(const HostFolder& folder, const std::string& name);

// Creates name as a new file for writing; fails when anything, a dangling
// link included, is there already.
FILE* CreateFileIn(const HostFolder& folder, const std::string& name,
                   std::string* error);

// Renames from to to inside folder in one step, replacing a file or link
// at to, never writing through it.
bool RenameIn(const HostFolder& folder, const std::string& from,
              const std::string& to, std::string* error);

// The names in folder, but "." and "..".
bool ListEntriesIn(const HostFolder& folder, std::vector<std::string>* names,
                   std::string* error);

// Swaps the entries a and b of folder (a link and a folder), never
// following a link: in one step on Linux; on Windows, and on a Linux file
// system that cannot swap, in three renames through the unused name aside,
// each step undone when a later one fails.
bool ExchangeIn(const HostFolder& folder, const std::string& a,
                const std::string& b, const std::string& aside,
                std::string* error);

// Holds root for this process, so that two extracts never work in one
// folder at once; the system lets go when the process ends, however it
// ends. With wait, waits for another process to let go; without, returns
// false at once when one holds it. Where the system cannot hold it, true.
bool HoldFolderForThisRun(const HostFolder& root, bool wait);

// Puts every file written and renamed on root's file system on the disk at
// once (Linux): far cheaper than a flush for each of many small files. On
// Windows, where each file is flushed on its own, it does nothing.
bool FlushFileSystem(const HostFolder& root, std::string* error);

// Whether FlushFileSystem(root) puts what is written in folder on the disk:
// on Linux when both are on one file system; never on Windows.
bool FlushedWith(const HostFolder& folder, const HostFolder& root);

#endif  // GRAVELHORN_FFF_HOST_FILES_H_
