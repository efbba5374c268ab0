#include "tools/archive_directory.h"

#include <cstring>
#include <filesystem>
#include <fstream>
#include <unordered_map>

#include "filesystem/fff_format.h"
#include "tools/fff_tool.h"

namespace {

ArchiveEntry ParseEntry(const unsigned char* bytes, uint64_t number) {
  ArchiveEntry entry;
  entry.number = number;
  const char* name = reinterpret_cast<const char*>(bytes);
  const void* zero = std::memchr(name, '\0', kDirectoryNameSize);
  entry.nameTerminated = zero != nullptr;
  entry.name.assign(
      name, zero ? static_cast<const char*>(zero) - name : kDirectoryNameSize);
  entry.offset = ReadLittleEndian32(bytes + kDirectoryNameSize);
  entry.size = ReadLittleEndian32(bytes + kDirectoryNameSize + 4);
  return entry;
}

}  // namespace

bool ReadArchiveDirectory(const std::string& path, ArchiveDirectory* directory,
                          std::string* error) {
  std::error_code code;
  const uint64_t length = std::filesystem::file_size(path, code);
  if (code) {
    *error = "cannot read the archive: " + code.message();
    return false;
  }
  directory->fileLength = length;
  if (length < kFffHeaderSize) {
    directory->layoutProblems.push_back(
        "the file is " + std::to_string(length) +
        " bytes long, shorter than the 28-byte header");
    return true;
  }
  std::ifstream in(path, std::ios::binary);
  unsigned char header[kFffHeaderSize];
  if (!in.read(reinterpret_cast<char*>(header), sizeof header)) {
    *error = "cannot read the archive's header";
    return false;
  }
  const uint32_t directorySize = ReadLittleEndian32(header + 24);
  if (directorySize % kDirectoryEntrySize != 0)
    directory->layoutProblems.push_back("the directory size " +
                                        std::to_string(directorySize) +
                                        " is not a multiple of 136");
  if (kFffHeaderSize + uint64_t(directorySize) > length)
    directory->layoutProblems.push_back(
        "the directory (" + std::to_string(directorySize) +
        " bytes from offset 28) runs past the end of the file (" +
        std::to_string(length) + " bytes)");
  // The count comes from the file's real length, never from the header alone.
  const uint64_t claimed = directorySize / kDirectoryEntrySize;
  const uint64_t present = (length - kFffHeaderSize) / kDirectoryEntrySize;
  const uint64_t count = claimed < present ? claimed : present;
  unsigned char bytes[kDirectoryEntrySize];
  for (uint64_t i = 0; i < count; ++i) {
    if (!in.read(reinterpret_cast<char*>(bytes), sizeof bytes)) {
      *error = "cannot read directory entry " + std::to_string(i + 1);
      return false;
    }
    directory->entries.push_back(ParseEntry(bytes, i + 1));
  }
  return true;
}

bool ReadSoundDirectory(const std::string& path, ArchiveDirectory* directory) {
  std::string error;
  if (!ReadArchiveDirectory(path, directory, &error)) {
    Complain(path, error);
    return false;
  }
  for (const std::string& problem : directory->layoutProblems)
    Complain(path, problem);
  return directory->layoutProblems.empty();
}

std::string DescribeEntry(const ArchiveEntry& entry) {
  return "entry " + std::to_string(entry.number) + " '" +
         Printable(entry.name) + "'";
}

bool DataWithinFile(const ArchiveEntry& entry, uint64_t fileLength) {
  return uint64_t(entry.offset) + entry.size <= fileLength;
}

std::vector<std::string> FindEntryProblems(const ArchiveDirectory& directory) {
  std::vector<std::string> problems;
  std::unordered_map<std::string, const ArchiveEntry*> firstWithKey;
  for (const ArchiveEntry& entry : directory.entries) {
    const std::string where = DescribeEntry(entry) + ": ";
    if (!entry.nameTerminated) {
      problems.push_back(where +
                         "the name has no terminating zero within "
                         "its 128 bytes");
    } else if (entry.name.empty()) {
      problems.push_back(where + "the name is empty");
    } else {
      auto found = firstWithKey.emplace(LookupKey(entry.name), &entry);
      if (!found.second)
        problems.push_back(where + "the same name as " +
                           DescribeEntry(*found.first->second) +
                           " regardless of case; the installer never finds it");
    }
    if (!DataWithinFile(entry, directory.fileLength))
      problems.push_back(where + "its data (offset " +
                         std::to_string(entry.offset) + ", size " +
                         std::to_string(entry.size) +
                         ") runs past the end of the file (" +
                         std::to_string(directory.fileLength) + " bytes)");
  }
  return problems;
}

const ArchiveEntry* FindMember(const ArchiveDirectory& directory,
                               const std::string& name) {
  const uint32_t hash = NameHash(name.c_str());
  const std::string key = LookupKey(name);
  for (const ArchiveEntry& entry : directory.entries) {
    if (entry.nameTerminated &&
        NameHashBounded(entry.name.c_str(), kDirectoryNameSize) == hash &&
        LookupKey(entry.name) == key)
      return &entry;
  }
  return nullptr;
}
