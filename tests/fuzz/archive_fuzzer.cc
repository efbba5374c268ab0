// An FFF archive from the fuzzer: mounted twice, then every member its
// directory names is opened and read whole through the file system, and so
// is a name taken from the archive's last bytes.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "filesystem/archive_table.h"
#include "filesystem/file_system.h"
#include "tests/fuzz/fuzz_support.h"

namespace {

// Opens name for reading and reads up to its size in blocks, as a copy
// would, stopping at the first short read.
void ReadWhole(const std::string& name) {
  FileHandle* handle = OpenFileQuiet(name.c_str(), OPEN_FILE_READ);
  if (handle == nullptr) return;
  const int32_t size = handle->GetSize();
  unsigned char block[65536];
  int64_t left = size;
  while (left > 0 && handle->stream != nullptr) {
    const size_t wanted = left < int64_t(sizeof block) ? size_t(left) : sizeof block;
    const size_t read = fread(block, 1, wanted, handle->stream);
    if (read == 0) break;
    left -= int64_t(read);
  }
  handle->IsEof();
  handle->Tell();
  CloseFile(handle);
}

// The names of the registered archives' members, bounded by their field.
std::vector<std::string> MemberNames() {
  std::vector<std::string> names;
  for (int32_t s = 0; s < Archives.registeredCount; ++s) {
    const ArchiveSlot& slot = Archives.slots[s];
    for (int32_t i = 0; i < slot.entryCount; ++i)
      names.emplace_back(slot.entries[i].name,
                         strnlen(slot.entries[i].name, kDirectoryNameSize));
  }
  return names;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  PrepareFuzzProcess();
  InWorkFolder inWorkFolder;
  WriteWholeFile(FuzzWorkFolder() + "/fuzz.cod", data, size);

  // Up to 300 bytes from the end, to the first zero: names of 256 bytes and
  // more are taken as files that do not exist.
  const size_t tailStart = size > 300 ? size - 300 : 0;
  const char* tail = reinterpret_cast<const char*>(data + tailStart);
  const std::string tailName(tail, strnlen(tail, size - tailStart));

  RunUntilFatal([&] {
    MountArchive("fuzz.cod");
    MountArchive(".\\FUZZ.COD");
    for (const std::string& name : MemberNames()) ReadWhole(name);
    ReadWhole(tailName);
  });
  ResetArchives();
  return 0;
}
