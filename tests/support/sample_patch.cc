#include "tests/support/sample_patch.h"

namespace {

// The game's own names, spelt here once: no test takes a name from the
// product's tables, so a name misspelt there fails the tests.
const char* const kStandardEdition[] = {"Gravelhorn_d3d.exe", "Gravelhorn_glide.exe",
                                        "Gravelhorn_gl.exe"};
const char* const kGermanEdition[] = {"Kieselfuchs_d3d.exe", "Kieselfuchs_glide.exe",
                                      "Kieselfuchs_gl.exe"};
const char* const kLanguageCodes[] = {"eng", "hun", "fra", "ger", "spa", "ita"};

// A language's archive in Patch.dat.
std::string LanguageArchive(const std::string& code) { return "/Patch_" + code + ".cod"; }

}  // namespace

std::vector<SampleFile> InstalledFiles(const std::string& language) {
  // The German edition's where the code holds "ger" in small letters.
  const bool german = language.find("ger") != std::string::npos;
  std::vector<SampleFile> files;
  for (const char* name : german ? kGermanEdition : kStandardEdition)
    files.push_back({"/" + std::string(name), name});
  files.push_back({LanguageArchive(language), "Patch12.cod"});
  return files;
}

std::vector<std::string> SamplePatchMembers() {
  std::vector<std::string> members;
  for (const auto* edition : {&kStandardEdition, &kGermanEdition})
    for (const char* name : *edition) members.push_back("/" + std::string(name));
  members.push_back(LanguageArchive(""));
  for (const char* code : kLanguageCodes) members.push_back(LanguageArchive(code));
  return members;
}
