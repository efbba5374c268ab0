// The sample game and patch of the demo and the benchmark: what the sample
// Patch.dat holds (from bench/sample_patch.h, which the tests share), and
// the benchmark's large files, which are too large or have too many
// members for the fff tool's command line:
//
//   make_sample patch-members
//       Every member of the sample Patch.dat, a line each.
//   make_sample installed-files LANGUAGE
//       The files a run installs for the language code, in the order it
//       copies them: "MEMBER GAME_FILE" a line each.
//   make_sample fill FILE BYTES SEED
//       FILE gets BYTES of pseudo-random bytes, the same for the same SEED.
//   make_sample game-archive FILE MEMBERS
//       FILE becomes an FFF archive of MEMBERS members: MEMBERS - 1 maps
//       named Maps/map_NNNNNNN.map, then Cfg/Menu.cfg holding version v1.1,
//       so that the version check finds its file at the very end.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "filesystem/fff_format.h"
#include "tests/support/sample_patch.h"

namespace {

const char kMenuConfig[] =
    "[Menu]\r\nresolution=800x600\r\n[Version]\r\nversion=v1.1\r\n";

int Fail(const char* file, const char* what) {
  fprintf(stderr, "make_sample: %s: %s: %s\n", file, what, strerror(errno));
  return 1;
}

bool ParseCount(const char* text, uint64_t* value) {
  char* end = nullptr;
  errno = 0;
  *value = strtoull(text, &end, 10);
  return errno == 0 && end != text && *end == '\0';
}

int Fill(const char* file, uint64_t bytes, uint64_t seed) {
  FILE* out = fopen(file, "wb");
  if (out == nullptr) return Fail(file, "cannot create");
  // xorshift64: fast, and the bytes do not compress, as real code would not.
  uint64_t state = seed * 0x9E3779B97F4A7C15ull + 1;
  std::vector<uint64_t> block(1 << 17);  // 1 MiB
  while (bytes > 0) {
    for (uint64_t& word : block) {
      state ^= state << 13;
      state ^= state >> 7;
      state ^= state << 17;
      word = state;
    }
    const size_t chunk =
        bytes < block.size() * 8 ? size_t(bytes) : block.size() * 8;
    if (fwrite(block.data(), 1, chunk, out) != chunk)
      return Fail(file, "cannot write");
    bytes -= chunk;
  }
  if (fclose(out) != 0) return Fail(file, "cannot write");
  return 0;
}

int GameArchive(const char* file, uint64_t members) {
  if (members == 0 || members > 1000000) {
    fprintf(stderr, "make_sample: %s: between 1 and 1000000 members\n", file);
    return 1;
  }
  // Every map holds its own name; the members follow the directory.
  std::vector<std::string> names;
  std::vector<std::string> contents;
  for (uint64_t i = 0; i + 1 < members; ++i) {
    char name[kDirectoryNameSize];
    snprintf(name, sizeof name, "Maps/map_%07llu.map",
             static_cast<unsigned long long>(i));
    names.push_back(name);
    contents.push_back(std::string("map ") + name + "\n");
  }
  names.push_back("Cfg/Menu.cfg");
  contents.push_back(kMenuConfig);

  const uint64_t directorySize = members * kDirectoryEntrySize;
  std::vector<unsigned char> head(kFffHeaderSize + directorySize, 0);
  memcpy(head.data(), "FFF archive", 11);
  WriteLittleEndian32(head.data() + 24, uint32_t(directorySize));
  uint64_t offset = head.size();
  for (uint64_t i = 0; i < members; ++i) {
    unsigned char* entry =
        head.data() + kFffHeaderSize + i * kDirectoryEntrySize;
    memcpy(entry, names[i].c_str(), names[i].size() + 1);
    WriteLittleEndian32(entry + kDirectoryNameSize, uint32_t(offset));
    WriteLittleEndian32(entry + kDirectoryNameSize + 4,
                        uint32_t(contents[i].size()));
    offset += contents[i].size();
  }

  FILE* out = fopen(file, "wb");
  if (out == nullptr) return Fail(file, "cannot create");
  bool written = fwrite(head.data(), 1, head.size(), out) == head.size();
  for (const std::string& content : contents)
    written = written &&
              fwrite(content.data(), 1, content.size(), out) == content.size();
  if (fclose(out) != 0 || !written) return Fail(file, "cannot write");
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  uint64_t first = 0;
  uint64_t second = 0;
  if (argc == 5 && strcmp(argv[1], "fill") == 0 &&
      ParseCount(argv[3], &first) && ParseCount(argv[4], &second))
    return Fill(argv[2], first, second);
  if (argc == 2 && strcmp(argv[1], "patch-members") == 0) {
    for (const std::string& member : SamplePatchMembers())
      printf("%s\n", member.c_str());
    return 0;
  }
  if (argc == 3 && strcmp(argv[1], "installed-files") == 0) {
    for (const SampleFile& file : InstalledFiles(argv[2]))
      printf("%s %s\n", file.member.c_str(), file.gameFile.c_str());
    return 0;
  }
  if (argc == 4 && strcmp(argv[1], "game-archive") == 0 &&
      ParseCount(argv[3], &first))
    return GameArchive(argv[2], first);
  fprintf(stderr,
          "usage: make_sample patch-members\n"
          "       make_sample installed-files LANGUAGE\n"
          "       make_sample fill FILE BYTES SEED\n"
          "       make_sample game-archive FILE MEMBERS\n");
  return 2;
}
