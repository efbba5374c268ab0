// In-process costs of the packed file system on a large game archive:
//
//   archive_benchmark [--benchmark_...] ARCHIVE UNPACKED_FOLDER
//
// ARCHIVE is a host path to an FFF archive; UNPACKED_FOLDER holds its last
// member as a plain file under the same name. Each figure comes with its
// peer: mounting against reading the directory's bytes alone (the most a
// mount can save), the lookup of the last member against opening the same
// name as an unpacked disk file.
#include <benchmark/benchmark.h>
#include <malloc.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "filesystem/archive_table.h"
#include "filesystem/file_system.h"
#include "platform/large_block.h"

namespace {

std::string ArchivePath;
std::string UnpackedFolder;

// The last member's name and the entry count, read by one mount.
std::string LastMemberName;
int64_t EntryCount = 0;

bool InspectArchive() {
  ResetArchives();
  MountArchive(ArchivePath.c_str());
  if (Archives.registeredCount != 1 || Archives.slots[0].entryCount == 0)
    return false;
  const ArchiveSlot& slot = Archives.slots[0];
  EntryCount = slot.entryCount;
  LastMemberName.assign(
      slot.entries[slot.entryCount - 1].name,
      strnlen(slot.entries[slot.entryCount - 1].name, kDirectoryNameSize));
  ResetArchives();
  return true;
}

void SetPerEntryCounters(benchmark::State& state) {
  state.counters["entries"] = double(EntryCount);
  state.counters["entries_per_second"] = benchmark::Counter(
      double(EntryCount), benchmark::Counter::kIsIterationInvariantRate);
  state.counters["seconds_per_entry"] = benchmark::Counter(
      double(EntryCount), benchmark::Counter::kIsIterationInvariantRate |
                              benchmark::Counter::kInvert);
}

void MountWholeArchive(benchmark::State& state) {
  for (auto _ : state) {
    MountArchive(ArchivePath.c_str());
    if (Archives.registeredCount != 1)
      state.SkipWithError("the archive did not mount");
    benchmark::DoNotOptimize(Archives.slots[0].hashes);
    ResetArchives();
  }
  SetPerEntryCounters(state);
}

// The mount's floor: the same header and directory read into a block of
// the same size from the same allocator, with nothing parsed or hashed.
void ReadDirectoryBytes(benchmark::State& state) {
  for (auto _ : state) {
    FILE* stream = fopen(ArchivePath.c_str(), "rb");
    if (stream == nullptr) {
      state.SkipWithError("cannot open the archive");
      break;
    }
    unsigned char header[kFffHeaderSize];
    const bool headerRead =
        fread(header, 1, sizeof header, stream) == sizeof header;
    const size_t directorySize = size_t(ReadLittleEndian32(header + 24)) /
                                 kDirectoryEntrySize * kDirectoryEntrySize;
    void* entries = AllocateLargeBlock(directorySize);
    const bool read =
        headerRead && fread(entries, 1, directorySize, stream) == directorySize;
    fclose(stream);
    benchmark::DoNotOptimize(entries);
    ReleaseLargeBlock(entries, directorySize);
    if (!read) state.SkipWithError("short directory");
  }
  SetPerEntryCounters(state);
}

// Opening the last member by name as the version check does: the disk
// file of that name first, then every entry of the archive.
void LookUpLastMember(benchmark::State& state) {
  ResetArchives();
  MountArchive(ArchivePath.c_str());
  for (auto _ : state) {
    FileHandle* handle = OpenFileQuiet(LastMemberName.c_str(), OPEN_FILE_READ);
    if (handle == nullptr) state.SkipWithError("the last member was not found");
    CloseFile(handle);
  }
  ResetArchives();
  SetPerEntryCounters(state);
}

// The same name opened by the same call where the game is unpacked on disk.
void OpenUnpackedFile(benchmark::State& state) {
  char previous[4096];
  if (getcwd(previous, sizeof previous) == nullptr ||
      chdir(UnpackedFolder.c_str()) != 0) {
    state.SkipWithError("cannot enter the unpacked folder");
    return;
  }
  for (auto _ : state) {
    FileHandle* handle = OpenFileQuiet(LastMemberName.c_str(), OPEN_FILE_READ);
    if (handle == nullptr)
      state.SkipWithError("the unpacked file was not found");
    CloseFile(handle);
  }
  if (chdir(previous) != 0)
    state.SkipWithError("cannot return to the previous folder");
  SetPerEntryCounters(state);
}

BENCHMARK(MountWholeArchive)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(ReadDirectoryBytes)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(LookUpLastMember)->UseRealTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(OpenUnpackedFile)->UseRealTime()->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
  // A fixed threshold keeps the allocator from keeping freed blocks for the
  // next mount: every mount gets fresh memory, as the installer's one does.
  mallopt(M_MMAP_THRESHOLD, 128 * 1024);
  benchmark::Initialize(&argc, argv);
  if (argc != 3) {
    fprintf(
        stderr,
        "usage: archive_benchmark [--benchmark_...] ARCHIVE UNPACKED_FOLDER\n");
    return 2;
  }
  ArchivePath = argv[1];
  UnpackedFolder = argv[2];
  if (!InspectArchive()) {
    fprintf(stderr, "archive_benchmark: %s: not an archive with members\n",
            argv[1]);
    return 1;
  }
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
