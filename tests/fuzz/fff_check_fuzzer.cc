// An FFF archive from the fuzzer, checked as fff check --patch checks it, on
// the bytes in memory. An archive that check accepts must extract whole: fff
// extract succeeds, writes every member's bytes under its name, and leaves
// nothing else in the folder.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "filesystem/archive_directory.h"
#include "platform/code_page.h"
#include "programs/fff/fff_tool.h"
#include "tests/fuzz/fuzz_support.h"

namespace {

[[noreturn]] void Mismatch(const std::string& what) {
  fprintf(stderr, "check accepted the archive, but %s\n", what.c_str());
  abort();
}

std::string ReadWhole(const std::filesystem::path& path) {
  std::ifstream file(path, std::ios::binary);
  if (!file) Mismatch("extract wrote no file " + path.string());
  return std::string(std::istreambuf_iterator<char>(file), {});
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;  // fmemopen takes no empty buffer; check refuses it
  FuzzInput input;
  FILE* memory = fmemopen(const_cast<uint8_t*>(data), size, "rb");
  if (memory == nullptr) abort();
  ArchiveDirectory directory;
  const bool mounted =
      ReadArchiveDirectory(memory, int64_t(size), &directory) == DirectoryError::kNone;
  fclose(memory);
  std::vector<std::string> notes;
  if (!mounted) return 0;
  // check --patch reads the language archives inside it and their menus:
  // nothing in them may crash it.
  OpenedArchive patch;
  patch.stream = fmemopen(const_cast<uint8_t*>(data), size, "rb");
  if (patch.stream == nullptr ||
      ReadArchiveDirectory(patch.stream, int64_t(size), &patch.directory) != DirectoryError::kNone)
    abort();
  PatchReport report;
  FindPatchProblems(patch, {"eng", "ger"}, &report);
  if (!FindArchiveProblems(directory, &notes).empty()) return 0;

  WriteWholeFile(FuzzInput::workFolder + "/fuzz.fff", data, size);
  std::filesystem::remove_all("out");
  if (RunExtract(CommandArguments{"fuzz.fff", "out", {}, false, {}}) != kExitSuccess)
    Mismatch("extract failed");
  size_t filesWritten = 0;
  for (const auto& entry : std::filesystem::recursive_directory_iterator("out"))
    filesWritten += entry.is_regular_file() || entry.is_symlink();
  if (filesWritten != size_t(directory.entryCount)) Mismatch("extract wrote other files");
  for (int32_t i = 0; i < directory.entryCount; ++i) {
    const DirectoryEntry& entry = directory.entries[i];
    std::string_view name = EntryName(entry);
    if (name[0] == '/') name.remove_prefix(1);
    const std::string stored(reinterpret_cast<const char*>(data) + EntryOffset(entry),
                             EntrySize(entry));
    if (ReadWhole("out/" + NarrowToHost(name)) != stored)
      Mismatch("member " + std::to_string(i + 1) + " was extracted with other bytes");
  }
  return 0;  // the next input starts without "out"
}
