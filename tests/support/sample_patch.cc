#include "tests/support/sample_patch.h"

#include <algorithm>
#include <cstdio>

#include "installer/messages.h"
#include "installer/patch_application.h"

namespace {

// A name of the installer's (a leading backslash) as a member's name.
std::string AsMember(std::string name) {
  std::replace(name.begin(), name.end(), '\\', '/');
  return name;
}

std::string LanguagePatchMember(const std::string& language) {
  char name[64];
  snprintf(name, sizeof name, kLanguagePatchFormat, language.c_str());
  return AsMember(name);
}

}  // namespace

std::vector<SampleFile> InstalledFiles(const std::string& language) {
  const bool german = language.find("ger") != std::string::npos;
  std::vector<SampleFile> files;
  for (const char* name : german ? GermanEditionExecutables : StandardEditionExecutables)
    files.push_back({AsMember(name), name + 1});
  files.push_back({LanguagePatchMember(language), kLanguagePatchDestination + 1});
  return files;
}

std::vector<std::string> SamplePatchMembers() {
  std::vector<std::string> members;
  for (const ExecutableSet* set : {&StandardEditionExecutables, &GermanEditionExecutables})
    for (const char* name : *set) members.push_back(AsMember(name));
  members.push_back(LanguagePatchMember(""));
  for (const CatalogueLanguage& language : MessageCatalogue)
    members.push_back(LanguagePatchMember(language.code));
  return members;
}
