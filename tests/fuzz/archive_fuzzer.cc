// An FFF archive from the fuzzer: mounted twice, then every member its
// directory names is opened and read whole through the file system, with
// the helper a copy reads it with.
#include <string>
#include <vector>

#include "filesystem/archive_table.h"
#include "filesystem/file_system.h"
#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzInput input;
  WriteWholeFile(FuzzInput::workFolder + "/fuzz.cod", data, size);
  RunUntilFatal([] {
    MountArchive("fuzz.cod");
    MountArchive(".\\FUZZ.COD");
    std::vector<std::string> names;
    for (int32_t i = 0; i < Archives.slots[0].entryCount; ++i)
      names.push_back(std::string(EntryName(Archives.slots[0].entries[i])));
    for (const std::string& name : names) {
      FileHandle* handle = OpenFileQuiet(name.c_str(), OPEN_FILE_READ);
      if (handle == nullptr) continue;
      handle->GetSize();
      std::vector<char> block(ReadableSize(handle));
      ReadFileBytes(handle, block.data(), uint32_t(block.size()));
      handle->IsEof();
      CloseFile(handle);
    }
  });
  ResetArchives();
  return 0;
}
