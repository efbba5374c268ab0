// Steam's list of its libraries from the fuzzer, as the text of
// libraryfolders.vdf: every library named is an absolute path without a
// quote, a line end or a zero byte, and the file read from disk names the
// same libraries.
#include <cstdlib>
#include <filesystem>

#include "programs/linux/library_folders.h"
#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzInput input;
  const std::string text(reinterpret_cast<const char*>(data), size);
  const std::vector<std::string> libraries = LibraryFoldersIn(text);
  for (const std::string& library : libraries)
    if (library.empty() || library[0] != '/' ||
        library.find_first_of(std::string("\"\n\0", 3)) != std::string::npos)
      abort();
  const std::string steam = FuzzInput::workFolder + "/Steam";
  std::filesystem::create_directories(steam + "/steamapps");
  WriteWholeFile(steam + "/steamapps/libraryfolders.vdf", data, size);
  if (ReadLibraryFolders(steam) != libraries) abort();
  return 0;
}
