// fff create: writes an archive from files, in command-line order.
#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <unordered_map>

#include "filesystem/fff_format.h"
#include "tools/fff_tool.h"

namespace fs = std::filesystem;

namespace {

struct PlannedMember {
  std::string name;
  fs::path source;
  uint64_t size = 0;
};

// Works out every member's name, source and size, complaining about each
// operand that cannot be stored, so that nothing is written unless all can.
bool PlanMembers(const CommandArguments& arguments,
                 std::vector<PlannedMember>* members) {
  std::unordered_map<std::string, std::string> nameOfKey;
  uint64_t end = kFffHeaderSize +
                 uint64_t(arguments.operands.size()) * kDirectoryEntrySize;
  bool planned = true;
  for (const std::string& operand : arguments.operands) {
    // "NAME=FILE", or a bare FILE named by its path with '/' separators.
    const size_t equals = operand.find('=');
    PlannedMember member;
    member.name = operand.substr(0, equals);
    if (equals == std::string::npos)
      std::replace(member.name.begin(), member.name.end(), '\\', '/');
    const std::string file =
        equals == std::string::npos ? operand : operand.substr(equals + 1);
    member.source = fs::path(arguments.folder) / file;
    std::string problem;
    std::error_code code;
    if (member.name.empty()) {
      problem = "the name given in '" + operand + "' is empty";
    } else if (member.name.size() >= kDirectoryNameSize) {
      problem = "the name is " + std::to_string(member.name.size()) +
                " bytes long; it must be shorter than 128";
    } else {
      auto added = nameOfKey.emplace(LookupKey(member.name), member.name);
      if (!added.second)
        problem = "the same name as " + QuoteMember(added.first->second) +
                  " regardless of case";
    }
    if (problem.empty()) {
      member.size = fs::file_size(member.source, code);
      end += code ? 0 : member.size;
      if (code)
        problem =
            "cannot read '" + member.source.string() + "': " + code.message();
      else if (end > UINT32_MAX)
        problem = "the archive would end at byte " + std::to_string(end) +
                  ", past the 4 GiB that its 32-bit offsets reach";
    }
    if (!problem.empty()) {
      Complain(arguments.archive, QuoteMember(member.name) + ": " + problem);
      planned = false;
    }
    members->push_back(member);
  }
  return planned;
}

std::vector<char> HeaderAndDirectory(
    const std::vector<PlannedMember>& members) {
  std::vector<char> bytes(kFffHeaderSize +
                          members.size() * kDirectoryEntrySize);
  unsigned char* raw = reinterpret_cast<unsigned char*>(bytes.data());
  // The installer never reads these bytes; they tell a person what this is.
  std::memcpy(raw, "FFF archive", 11);
  WriteLittleEndian32(raw + 24, uint32_t(bytes.size() - kFffHeaderSize));
  uint64_t offset = bytes.size();
  unsigned char* entry = raw + kFffHeaderSize;
  for (const PlannedMember& member : members) {
    std::memcpy(entry, member.name.data(), member.name.size());
    WriteLittleEndian32(entry + kDirectoryNameSize, uint32_t(offset));
    WriteLittleEndian32(entry + kDirectoryNameSize + 4, uint32_t(member.size));
    offset += member.size;
    entry += kDirectoryEntrySize;
  }
  return bytes;
}

// Writes the whole archive to path; returns what went wrong, or "".
std::string WriteArchive(const fs::path& path,
                         const std::vector<PlannedMember>& members) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  const std::vector<char> head = HeaderAndDirectory(members);
  if (!out.write(head.data(), std::streamsize(head.size())))
    return "cannot write '" + path.string() + "'";
  for (const PlannedMember& member : members) {
    std::ifstream in(member.source, std::ios::binary);
    const std::string error =
        in ? CopyBlocks(in, out, member.size) : "cannot open it";
    if (!error.empty())
      return QuoteMember(member.name) + ": copying '" + member.source.string() +
             "': " + error;
  }
  out.close();
  return out.fail() ? "cannot write '" + path.string() + "'" : "";
}

}  // namespace

int RunCreate(const CommandArguments& arguments) {
  std::vector<PlannedMember> members;
  if (!PlanMembers(arguments, &members)) return kExitFailure;
  // Written beside the target and renamed into place, so that a failure
  // never leaves a half archive under the archive's name.
  const fs::path target = arguments.archive;
  fs::path temporary;
  std::random_device random;
  std::error_code code;
  do {
    temporary = target;
    temporary += ".tmp" + std::to_string(random() % 1000000);
  } while (fs::exists(temporary, code));
  std::string error = WriteArchive(temporary, members);
  if (error.empty()) {
    fs::rename(temporary, target, code);
    if (code)
      error = "cannot rename '" + temporary.string() +
              "' into place: " + code.message();
  }
  if (error.empty()) return kExitSuccess;
  Complain(arguments.archive, error);
  fs::remove(temporary, code);
  return kExitFailure;
}
