// The installer's fatal error, and what whole runs do not show of language
// selection.
#include "installer/messages.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <string>

#include "filesystem/archive_table.h"
#include "installer/copy_files.h"
#include "installer/settings.h"
#include "platform/code_page.h"
#include "tests/support/test_support.h"

namespace {

// In every language the caption stays "ERROR", as whole runs show; a copy
// given no block has no memory.
TEST(FatalError, ShowsAnErrorBoxClosesArchivesAndExitsWithMinusOne) {
  TempDir dir;
  const std::string archive = dir.Write("Game.cod", BuildFffArchive({{"a.txt", "x"}}));
  const std::pair<std::function<void()>, std::string> rows[] = {
      {[&] { MountArchive(archive.c_str()), FatalError("A k\xF6vetkez\xF5 file"); },
       "A k\xF6vetkez\xF5 file"},
      {[] { WriteBufferToFile(nullptr, 0, "x"); }, "Not enough free memory!"}};
  for (const auto& [body, text] : rows) {
    const EndedRun run = RunToEnd(body);
    EXPECT_TRUE(run.ended && run.exitCode == 255) << text;
    ASSERT_EQ(1u, run.boxes.size());
    EXPECT_EQ("ERROR", run.boxes[0].caption);
    EXPECT_EQ(text, run.boxes[0].text);
    EXPECT_EQ(0x10u, run.boxes[0].style);
    EXPECT_TRUE(Archives.registeredCount == 0 && Archives.slots[0].stream == nullptr &&
                !Archives.slots[0].inUse);
  }
}

TEST(SelectLanguage, FoldsOnlyTheLettersAToZ) {
  EXPECT_EQ(5, SelectLanguage("iTA"));
  EXPECT_EQ(0, SelectLanguage("g\xC5r"));  // 0xC5 is not 'E' in any case
  EXPECT_EQ(0, SelectLanguage("it"));
}

// The catalogue writes each letter outside ASCII as an escape of its row's
// code page, where a wrong byte hides easily. Read through that code page,
// each such text is the one written here readably (UTF-8); every other
// text holds ASCII alone.
TEST(MessageCatalogue, EveryTextReadsAsWrittenInItsCodePage) {
  // clang-format off
  const std::map<std::pair<std::string, int>, std::string> readable = {
      {{"hun", 0}, "Nincs elég memoria!"}, {{"hun", 5}, "Útvonal:\t"},
      {{"hun", 1}, "A következő file-t nem tudja írásra megnyitni:"},
      {{"hun", 2}, "A következő file-t nem tudja megnyitni:"},
      {{"hun", 3}, "Gravelhorn vagy annak bejegyzéseit nem találom!"},
      {{"hun", 4}, "Nem tudom a file-okat frissíteni!"}, {{"hun", 6}, "Alap verzió:\t"},
      {{"hun", 7}, "Frissített verzió:\t"}, {{"hun", 8}, "Intalalás befejezve."},
      {{"hun", 9}, "Gravelhorn Patch Instaláló program"},
      {{"hun", 10}, "A Patch régebbi, mint a gépeden található Gravelhorn!"},
      {{"fra", 0}, "Mémoire libre insuffisante !"}, {{"fra", 8}, "Installé."},
      {{"fra", 3},
       "Gravelhorn ou les données spécifiques de la base de registre sont introuvables !"},
      {{"fra", 4}, "Mise à jour des fichiers impossible."}, {{"fra", 5}, "Chemin d'accès :\t"},
      {{"fra", 7}, "Version mise à jour :\t"},
      {{"fra", 10}, "Cette mise à jour est antérieure à votre version de Gravelhorn"},
      {{"ger", 0}, "Nicht genügend freier Arbeitsspeicher!"},
      {{"ger", 1}, "Kann folgende Datei zum Beschreiben nicht öffnen:"},
      {{"ger", 4}, "Aktualisierung der Dateien nicht möglich. "},
      {{"ger", 10}, "Dieser Patch ist älter als Ihre Version von Kieselfuchs!"},
      {{"spa", 6}, "versión base:\t"}, {{"spa", 7}, "versión actualizada:\t"},
      {{"spa", 10}, "¡Este parche es para una versión anterior de Gravelhorn!"},
      {{"ita", 3}, "Gravelhorn o la relativa voce di registro non è stata trovato!"},
      {{"ita", 10}, "Questa patch è più vecchia della tua attuale versione di Gravelhorn"}};
  // clang-format on
  size_t checked = 0;
  for (const CatalogueLanguage& language : MessageCatalogue) {
    SCOPED_TRACE(language.code);
    const std::string locale = language.codePage == 1250 ? "hu_HU.UTF-8" : "C.UTF-8";
    const std::string locales = locale == "C.UTF-8" ? "" : CompiledLocale(locale);
    if (locale != "C.UTF-8" && locales.empty())
      GTEST_SKIP() << "localedef cannot compile " << locale;
    ScopedEnvironment lcAll("LC_ALL", locale.c_str());
    ScopedEnvironment locpath("LOCPATH", locales.empty() ? nullptr : locales.c_str());
    ASSERT_EQ(language.codePage, AnsiCodePage());
    for (int id = 0; id < kMessageCount; ++id) {
      const std::string text = language.texts[id];
      const auto found = readable.find({language.code, id});
      checked += found != readable.end();
      if (found != readable.end())
        EXPECT_EQ(found->second, NarrowToHost(text)) << id;
      else
        for (unsigned char c : text) EXPECT_LT(c, 0x80) << id << ": " << text;
    }
  }
  EXPECT_EQ(readable.size(), checked);
}

}  // namespace
