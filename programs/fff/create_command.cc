// fff create: writes an archive from files, in command-line order, or
// nothing at all.
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <random>
#include <unordered_map>

#include "filesystem/fff_format.h"
#include "platform/code_page.h"
#include "programs/fff/fff_tool.h"
#include "programs/fff/host_files.h"
#include "programs/fff/member_name.h"

namespace {

struct PlannedMember {
  std::string name;    // as stored: code-page bytes
  std::string shown;   // as given, with '/' separators, for messages
  std::string source;  // the file's host path
  uint64_t size = 0;
};

// FILE as the command line gives it, read relative to -C DIR when given.
std::string SourcePath(const std::string& folder, const std::string& file) {
  return folder.empty() || IsAbsoluteHostPath(file) ? file
                                                    : folder + "/" + file;
}

// Works out one operand's name, source and size into member, adding what
// keeps it from being stored to problems.
void PlanMember(const std::string& folder, const std::string& operand,
                PlannedMember* member, std::vector<std::string>* problems) {
  // "NAME=FILE"; a FILE alone or "=FILE" is named by its own path.
  const size_t equals = operand.find('=');
  const std::string file =
      equals == std::string::npos ? operand : operand.substr(equals + 1);
  const bool nameFromFile = equals == std::string::npos || equals == 0;
  member->shown = nameFromFile ? file : operand.substr(0, equals);
  std::replace(member->shown.begin(), member->shown.end(), '\\', '/');
  member->source = SourcePath(folder, file);
  const std::string quoted = "member '" + Printable(member->shown) + "': ";
  if (!nameFromFile &&
      InspectHostEntry(SourcePath(folder, operand)) != HostEntry::kMissing) {
    const std::string shown = Printable(operand);
    problems->push_back(
        "'" + shown + "' is a file, and also reads as NAME=FILE (member '" +
        Printable(member->shown) + "' from file '" + Printable(file) +
        "'): write '=" + shown +
        "' to store the file under its own name, or '" +
        Printable(member->shown) + "=./" + Printable(file) + "' for the other");
    return;
  }
  if (file.empty()) {
    problems->push_back(quoted + "no FILE after '=' in '" + Printable(operand) +
                        "'");
    return;
  }
  const std::string hint =
      nameFromFile ? "; name the member with NAME=FILE" : "";
  std::string problem;
  if (nameFromFile && IsAbsoluteHostPath(file))
    problem = "the name is an absolute path" + hint;
  else if (!HostToNarrow(member->shown, &member->name))
    problem = "the name has a character that is not in code page " +
              std::to_string(AnsiCodePage()) +
              ", in which the installer reads names";
  else if (!(problem = MemberNameProblem(member->name)).empty())
    problem += hint;
  else
    problem = ExtractionNameProblem(member->name);
  if (!problem.empty()) problems->push_back(quoted + problem);
  std::string error;
  if (FILE* stream = OpenRegularFile(member->source, &member->size, &error))
    (void)std::fclose(stream);
  else
    problems->push_back(quoted + "cannot read '" + Printable(member->source) +
                        "': " + error);
}

// Plans every member, complaining about each operand that cannot be stored,
// so that nothing is written unless all can.
bool PlanMembers(const CommandArguments& arguments,
                 std::vector<PlannedMember>* members) {
  std::unordered_map<std::string, size_t> memberWithKey;
  uint64_t end = kFffHeaderSize +
                 uint64_t(arguments.operands.size()) * kDirectoryEntrySize;
  bool planned = true;
  std::vector<size_t> named;  // the members that can be stored so far
  std::vector<std::string> keys;
  for (const std::string& operand : arguments.operands) {
    PlannedMember member;
    std::vector<std::string> problems;
    PlanMember(arguments.folder, operand, &member, &problems);
    const std::string quoted = "member '" + Printable(member.shown) + "': ";
    if (problems.empty()) {
      auto added =
          memberWithKey.emplace(LookupKey(member.name), members->size());
      const std::string& first =
          added.second ? member.name : (*members)[added.first->second].name;
      end += member.size;
      if (!added.second && first == member.name)
        problems.push_back(quoted + "given twice");
      else if (!added.second)
        problems.push_back(quoted + "the same name as member '" +
                           ShownName(first) +
                           "' but for letter case; the installer would only "
                           "ever find that one");
      else if (end > UINT32_MAX)
        problems.push_back(quoted + "the archive would end at byte " +
                           std::to_string(end) +
                           ", past the 4 GiB that its 32-bit offsets reach");
    }
    for (const std::string& problem : problems)
      Complain(arguments.archive, problem);
    planned = planned && problems.empty();
    if (problems.empty()) {
      named.push_back(members->size());
      keys.push_back(WindowsNameKey(member.name));
    }
    members->push_back(member);
  }
  for (const NameClash& clash : FindNameClashes(keys)) {
    const PlannedMember& member = (*members)[named[clash.member]];
    const PlannedMember& other = (*members)[named[clash.other]];
    Complain(arguments.archive,
             "member '" + Printable(member.shown) + "': " +
                 DescribeClash(clash, member.name,
                               "member '" + Printable(other.shown) + "'"));
    planned = false;
  }
  return planned;
}

std::vector<unsigned char> HeaderAndDirectory(
    const std::vector<PlannedMember>& members) {
  std::vector<unsigned char> bytes(kFffHeaderSize +
                                   members.size() * kDirectoryEntrySize);
  // The installer never reads these bytes; they tell a person what this is.
  std::memcpy(bytes.data(), "FFF archive", 11);
  WriteLittleEndian32(&bytes[24], uint32_t(bytes.size() - kFffHeaderSize));
  uint64_t offset = bytes.size();
  unsigned char* entry = &bytes[kFffHeaderSize];
  for (const PlannedMember& member : members) {
    // The field is zeroed: a name shorter than it ends with zeros.
    std::copy(member.name.begin(), member.name.end(), entry);
    WriteLittleEndian32(entry + kDirectoryNameSize, uint32_t(offset));
    WriteLittleEndian32(entry + kDirectoryNameSize + 4, uint32_t(member.size));
    offset += member.size;
    entry += kDirectoryEntrySize;
  }
  return bytes;
}

// Writes the whole archive to out, the file outName, and puts it on the
// disk; returns what went wrong, or "".
std::string WriteArchive(FILE* out, const std::string& outName,
                         const std::vector<PlannedMember>& members) {
  const std::vector<unsigned char> head = HeaderAndDirectory(members);
  std::string error = WriteBounded(out, outName, head.data(), head.size());
  for (const PlannedMember& member : members) {
    if (!error.empty()) return error;
    uint64_t length = 0;
    FILE* in = OpenRegularFile(member.source, &length, &error);
    if (in == nullptr) {
      error = "cannot read '" + Printable(member.source) + "': " + error;
    } else {
      error = CopyBlocks(in, member.source, out, outName, member.size);
      (void)std::fclose(in);
    }
    if (!error.empty())
      error = "member '" + Printable(member.shown) + "': " + error;
  }
  if (error.empty() && !FlushToDisk(out, &error))
    error = "writing '" + Printable(outName) + "' failed: " + error;
  return error;
}

// Reads count bytes from each file; returns "", or how they differ.
std::string CompareBlocks(FILE* archive, const std::string& archiveName,
                          FILE* source, const std::string& sourceName,
                          uint64_t count) {
  static char stored[64 * 1024], original[sizeof stored];
  while (count > 0) {
    const size_t wanted = count < sizeof stored ? size_t(count) : sizeof stored;
    if (std::fread(stored, 1, wanted, archive) != wanted)
      return "reading '" + Printable(archiveName) + "' back failed";
    if (std::fread(original, 1, wanted, source) != wanted)
      return "'" + Printable(sourceName) +
             "' is shorter than when it was stored: it changed meanwhile";
    if (std::memcmp(stored, original, wanted) != 0)
      return "the bytes read back from '" + Printable(archiveName) +
             "' differ from those of '" + Printable(sourceName) +
             "': it changed while it was stored";
    count -= wanted;
  }
  return std::string();
}

// Reads the archive at path back through the installer's own reader and
// lookup, and holds every member against its source file. Returns "", or
// the first difference.
std::string VerifyArchive(const std::string& path,
                          const std::vector<PlannedMember>& members) {
  OpenedArchive written;
  uint64_t length = 0;
  std::string error;
  written.stream = OpenRegularFile(path, &length, &error);
  if (written.stream == nullptr)
    return "cannot read '" + Printable(path) + "' back: " + error;
  const ArchiveDirectory& directory = written.directory;
  if (ReadArchiveDirectory(written.stream, int64_t(length),
                           &written.directory) != DirectoryError::kNone ||
      size_t(directory.entryCount) != members.size())
    return "read back, '" + Printable(path) +
           "' does not hold the directory written";
  for (size_t i = 0; i < members.size(); ++i) {
    const PlannedMember& member = members[i];
    const std::string quoted = "member '" + Printable(member.shown) + "': ";
    const DirectoryEntry& entry = directory.entries[i];
    if (FindDirectoryEntry(directory, member.name,
                           NameHash(member.name.c_str())) != int32_t(i) ||
        EntrySize(entry) != member.size ||
        !DataWithinFile(directory, int32_t(i)) ||
        !SeekFile(written.stream, EntryOffset(entry)))
      return quoted + "read back, '" + Printable(path) +
             "' does not hold it where it was written";
    uint64_t sourceLength = 0;
    FILE* source = OpenRegularFile(member.source, &sourceLength, &error);
    if (source == nullptr)
      return quoted + "cannot read '" + Printable(member.source) +
             "' again: " + error;
    error =
        CompareBlocks(written.stream, path, source, member.source, member.size);
    if (error.empty() && std::fgetc(source) != EOF)
      error = "'" + Printable(member.source) + "' holds more than the " +
              std::to_string(member.size) +
              " bytes stored: it changed meanwhile";
    (void)std::fclose(source);
    if (!error.empty()) return quoted + error;
  }
  return std::string();
}

}  // namespace

int RunCreate(const CommandArguments& arguments) {
  // create makes a new file or replaces a regular one, nothing else: not a
  // device (as root, /dev/null), a pipe, a socket, a folder, nor a link or
  // what it points to.
  const std::string& target = arguments.archive;
  std::string error = ReplacementProblem(target);
  if (!error.empty())
    Complain(target, "refusing to replace '" + Printable(target) +
                         "': " + error +
                         "; create writes only a new file or over "
                         "a regular file");
  std::vector<PlannedMember> members;
  if (!PlanMembers(arguments, &members) || !error.empty()) return kExitFailure;
  // Written beside the target and renamed into place, so that a failure
  // never leaves a half archive under the archive's name.
  std::string temporary;
  std::random_device random;
  do {
    temporary = target + ".tmp" + std::to_string(random() % 1000000);
  } while (InspectHostEntry(temporary) != HostEntry::kMissing);
  FILE* out = CreateNewFile(temporary, &error);
  if (out == nullptr) {
    Complain(target, "cannot create '" + Printable(temporary) + "': " + error);
    return kExitFailure;
  }
  error = WriteArchive(out, temporary, members);
  if (std::fclose(out) != 0 && error.empty())
    error = "writing '" + Printable(temporary) +
            "' failed: " + std::strerror(errno);
  if (error.empty()) error = VerifyArchive(temporary, members);
  if (error.empty() && !ReplaceRegularFile(temporary, target, &error))
    error = "cannot rename '" + Printable(temporary) + "' into place: " + error;
  if (error.empty()) return kExitSuccess;
  Complain(target, error);
  if (InspectHostEntry(temporary) == HostEntry::kFile)  // never what it met
    RemoveEntry(temporary);
  return kExitFailure;
}
