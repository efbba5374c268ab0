// The disk operations of the fff tool, on host paths (UTF-8 on Linux, the
// ANSI code page on Windows). Only OpenRegularFile, which reads, and
// SameFile follow a link at the path they are given. Each failing call
// returns false or nullptr and puts the system's reason into *error.
#ifndef GRAVELHORN_TOOLS_HOST_FILES_H_
#define GRAVELHORN_TOOLS_HOST_FILES_H_

#include <cstdint>
#include <cstdio>
#include <string>

// What is at a path, the link itself where there is one. On Windows every
// reparse point (a symbolic link, a junction) is a link.
enum class HostEntry { kMissing, kFile, kFolder, kLink, kOther };
HostEntry InspectHostEntry(const std::string& path);

// Opens a regular file (links followed) for reading and gives its length.
// A folder, a device or a pipe is refused in words a user understands.
FILE* OpenRegularFile(const std::string& path, uint64_t* length,
                      std::string* error);

// Creates a new file for writing; fails when anything, a dangling link
// included, is at path already.
FILE* CreateNewFile(const std::string& path, std::string* error);

bool MakeFolder(const std::string& path, std::string* error);

// Removes a file or a link (to a folder too), never what a link points to.
bool RemoveEntry(const std::string& path, std::string* error);

// Renames from to to, replacing a file or link at to.
bool ReplaceEntry(const std::string& from, const std::string& to,
                  std::string* error);

// Whether the two paths name one file (hard links included).
bool SameFile(const std::string& a, const std::string& b);

// Moves stream to position, counted from the start; 64-bit everywhere.
bool SeekFile(FILE* stream, uint64_t position);

#endif  // GRAVELHORN_TOOLS_HOST_FILES_H_
