// The installed game and the patch that the end-to-end runs of both
// programs start from, so that the Linux and the Windows program are held
// to the same expectations.
#ifndef GRAVELHORN_TESTS_SAMPLE_GAME_H_
#define GRAVELHORN_TESTS_SAMPLE_GAME_H_

#include <map>
#include <string>

#include "tests/test_support.h"

// Empties folder and writes files, as FolderTree gives them, into it.
void RestoreFolderFiles(const std::string& folder, const FolderFiles& files);

// Writes a v1.1 game (Game.cod, Language.cod, Patch12.cod) into gameFolder
// and Patch.dat, with both editions' executables and a language archive for
// each code and for the empty code, into patchFolder.
void LayOutSampleGame(const std::string& gameFolder, const std::string& patchFolder);

// The language archive Patch.dat holds for code.
std::string SampleLanguagePatch(const std::string& code);

// The game folder's files after edition's executables and the archive of
// patchCode were installed over original.
FolderFiles SampleInstalled(const FolderFiles& original, const std::string& edition,
                            const std::string& patchCode);

#endif  // GRAVELHORN_TESTS_SAMPLE_GAME_H_
