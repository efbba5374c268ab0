#include "tests/sample_game.h"

#include <filesystem>
#include <vector>

#include "installer/messages.h"
#include "tests/test_support.h"

namespace {

const char* const kEditions[] = {"Gravelhorn", "Kieselfuchs"};
const char* const kBackEnds[] = {"d3d", "glide", "gl"};

std::string ExecutableBytes(const std::string& name) { return "MZ /" + name + " v1.2"; }

}  // namespace

void RestoreFolderFiles(const std::string& folder, const FolderFiles& files) {
  std::filesystem::remove_all(folder);
  MakeFolders(folder);
  for (const auto& file : files) {
    std::string path = folder + "/" + file.first;
    if (file.second == kFolderEntry) {
      MakeFolders(path);
      continue;
    }
    MakeFolders(std::filesystem::path(path).parent_path().string());
    WriteFileBytes(path, file.second);
  }
}

std::string SampleLanguagePatch(const std::string& code) {
  return BuildFffArchive({{"Cfg/Menu.cfg", "[Version]\r\nversion=v1.2\r\n"},
                          {"Text/" + code + ".txt", "text of " + code}});
}

void LayOutSampleGame(const std::string& gameFolder, const std::string& patchFolder) {
  RestoreFolderFiles(
      gameFolder,
      {{"Game.cod", BuildFffArchive({{"Cfg/Menu.cfg",
                                      "[Menu]\r\nversion=0\r\n[Version]\r\nversion=v1.1\r\n"},
                                     {"Data/level1.map", "level"}})},
       {"Language.cod", BuildFffArchive({{"Text/eng.txt", "t"}})},
       {"Patch12.cod", BuildFffArchive({{"old.txt", "old patch"}})}});

  std::vector<ArchiveMember> patch;
  for (const char* edition : kEditions)
    for (const char* backEnd : kBackEnds) {
      std::string name = std::string(edition) + "_" + backEnd + ".exe";
      patch.push_back({"/" + name, ExecutableBytes(name)});
    }
  // A language archive for every code of the catalogue and for none.
  patch.push_back({"/Patch_.cod", SampleLanguagePatch("")});
  for (const CatalogueLanguage& language : MessageCatalogue)
    patch.push_back({std::string("/Patch_") + language.code + ".cod",
                     SampleLanguagePatch(language.code)});
  RestoreFolderFiles(patchFolder, {{"Patch.dat", BuildFffArchive(patch)}});
}

FolderFiles SampleInstalled(const FolderFiles& original, const std::string& edition,
                            const std::string& patchCode) {
  FolderFiles files = original;
  for (const char* backEnd : kBackEnds) {
    std::string name = edition + "_" + backEnd + ".exe";
    files[name] = ExecutableBytes(name);
  }
  files["Patch12.cod"] = SampleLanguagePatch(patchCode);
  return files;
}
