// The sample patch that the demo, the benchmark and the tests lay out,
// described once, with the game's names spelt here (never taken from the
// installer): which members a Patch.dat holds, and which game file each
// one becomes.
#ifndef GRAVELHORN_BENCH_SAMPLE_PATCH_H_
#define GRAVELHORN_BENCH_SAMPLE_PATCH_H_

#include <string>
#include <vector>

// One file the installer copies: its member in Patch.dat ("/Name.exe",
// forward slashes) and its name in the game folder.
struct SampleFile {
  std::string member;
  std::string gameFile;
};

// The files a run installs for a registry language code, in the order the
// installer copies them: the edition's three executables (the German
// edition's where the code holds "ger"), then the language's archive as
// Patch12.cod.
std::vector<SampleFile> InstalledFiles(const std::string& language);

// Every member of the complete sample Patch.dat: both editions'
// executables, then a language archive for the empty code and for each of
// the six languages of the catalogue.
std::vector<std::string> SamplePatchMembers();

#endif  // GRAVELHORN_BENCH_SAMPLE_PATCH_H_
