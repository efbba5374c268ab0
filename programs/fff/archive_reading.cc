// Reading an archive for list, extract and check: the installer's own reader
// and lookup, with what they find put into words.
#include <algorithm>
#include <unordered_set>

#include "platform/code_page.h"
#include "programs/fff/fff_tool.h"
#include "programs/fff/host_files.h"

namespace {

// Why the installer refuses to mount the archive, in its box's words and
// then in a publisher's.
std::string DescribeRefusal(DirectoryError error,
                            const ArchiveDirectory& directory) {
  const uint64_t length = uint64_t(directory.fileLength);
  const uint32_t directorySize = DirectorySize(directory.header);
  std::string why;
  if (error == DirectoryError::kNoMemory)
    return "not enough memory for its directory of " +
           std::to_string(directorySize) + " bytes";
  if (error == DirectoryError::kHeader)
    why = length < kFffHeaderSize
              ? "the file holds only " + std::to_string(length) +
                    " of the header's 28 bytes"
              : "its header cannot be read";
  else
    why = kFffHeaderSize + uint64_t(directorySize) > length
              ? "the directory size " + std::to_string(directorySize) +
                    " runs past the end of the file (" +
                    std::to_string(length) + " bytes)"
              : "its directory cannot be read";
  return std::string("the installer refuses it with \"") +
         DirectoryErrorWords(error) + "\": " + why;
}

}  // namespace

OpenedArchive::~OpenedArchive() {
  if (stream != nullptr) (void)std::fclose(stream);
}

bool OpenArchive(const std::string& path, OpenedArchive* archive) {
  uint64_t length = 0;
  std::string error;
  archive->stream = OpenRegularFile(path, &length, &error);
  if (archive->stream == nullptr) {
    Complain(path, "cannot read the archive: " + error);
    return false;
  }
  const DirectoryError refused = ReadArchiveDirectory(
      archive->stream, int64_t(length), &archive->directory);
  if (refused == DirectoryError::kNone) return true;
  Complain(path, DescribeRefusal(refused, archive->directory));
  return false;
}

std::string DescribeEntry(const ArchiveDirectory& directory, int32_t index) {
  return "entry " + std::to_string(index + 1) + " '" +
         ShownName(EntryName(directory.entries[index])) + "'";
}

bool DataWithinFile(const ArchiveDirectory& directory, int32_t index) {
  const DirectoryEntry& entry = directory.entries[index];
  return uint64_t(EntryOffset(entry)) + EntrySize(entry) <=
         uint64_t(directory.fileLength);
}

std::vector<int32_t> FindEntriesFound(const ArchiveDirectory& directory) {
  std::vector<int32_t> found(size_t(directory.entryCount));
  // Only an entry whose hash came before can be hidden; the lookup itself
  // decides, as it does for the installer.
  std::unordered_set<uint32_t> hashesSeen;
  for (int32_t i = 0; i < directory.entryCount; ++i) {
    const uint32_t hash = directory.hashes[i];
    found[i] = hashesSeen.insert(hash).second
                   ? i
                   : FindDirectoryEntry(directory,
                                        EntryName(directory.entries[i]), hash);
  }
  return found;
}

namespace {

// The entry that operand (host text) selects, or -1.
int32_t FindSelected(const ArchiveDirectory& directory, std::string operand) {
  std::replace(operand.begin(), operand.end(), '\\', '/');
  std::string name;
  if (operand.empty() || !HostToNarrow(operand, &name)) return -1;
  const std::string other = name[0] == '/' ? name.substr(1) : "/" + name;
  for (const std::string& candidate : {name, other}) {
    const int32_t found =
        FindDirectoryEntry(directory, candidate, NameHash(candidate.c_str()));
    if (found >= 0) return found;
  }
  return -1;
}

}  // namespace

bool SelectEntries(const CommandArguments& arguments,
                   const ArchiveDirectory& directory,
                   std::vector<int32_t>* selected) {
  bool found = true;
  for (const std::string& operand : arguments.operands) {
    const int32_t index = FindSelected(directory, operand);
    if (index < 0) {
      Complain(arguments.archive,
               "member '" + Printable(operand) + "': not in the archive");
      found = false;
    } else if (std::find(selected->begin(), selected->end(), index) ==
               selected->end()) {
      selected->push_back(index);
    }
  }
  return found;
}
