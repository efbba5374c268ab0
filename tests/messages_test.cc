// The installer's fatal error, the catalogue's texts (whole runs show
// language selection), and start-up's install path normalisation at its
// edges: a path that already ends in a backslash, or is one (whole runs
// show the registry read: its view and its prefix).
#include "installer/messages.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <regex>
#include <string>
#include <tuple>

#include "filesystem/archive_table.h"
#include "installer/copy_files.h"
#include "installer/settings.h"
#include "installer/startup.h"
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
      {[] { WriteBufferToFile(nullptr, 0, "x"); }, "Not enough free memory!"},
  };
  for (const auto& [body, text] : rows) {
    const EndedRun run = RunToEnd(body);
    ASSERT_EQ(1u, run.boxes.size()) << text;
    const RecordedBox& box = run.boxes[0];
    EXPECT_EQ(std::tuple(true, 255, "ERROR", text, 0x10u),
              std::tuple(run.ended, run.exitCode, box.caption, box.text, box.style));
    EXPECT_TRUE(Archives.registeredCount == 0 && Archives.slots[0].stream == nullptr &&
                !Archives.slots[0].inUse);
  }
}

// The catalogue writes each letter outside ASCII as an escape of its row's
// code page, where a wrong byte hides easily. Read through that code page,
// each such text is the one written here readably (UTF-8); every other
// text holds ASCII alone.
TEST(MessageCatalogue, EveryTextReadsAsWrittenInItsCodePage) {
  std::map<std::string, std::map<int, std::string>> readable = {
      {"hun",
       {{0, "Nincs elég memoria!"},
        {1, "A következő file-t nem tudja írásra megnyitni:"},
        {2, "A következő file-t nem tudja megnyitni:"},
        {4, "Nem tudom a file-okat frissíteni!"},
        {3, "Gravelhorn vagy annak bejegyzéseit nem találom!"},
        {5, "Útvonal:\t"},
        {6, "Alap verzió:\t"},
        {7, "Frissített verzió:\t"},
        {8, "Intalalás befejezve."},
        {9, "Gravelhorn Patch Instaláló program"},
        {10, "A Patch régebbi, mint a gépeden található Gravelhorn!"}}},
      {"fra",
       {{0, "Mémoire libre insuffisante !"},
        {4, "Mise à jour des fichiers impossible."},
        {3, "Gravelhorn ou les données spécifiques de la base de registre sont introuvables !"},
        {5, "Chemin d'accès :\t"},
        {7, "Version mise à jour :\t"},
        {8, "Installé."},
        {10, "Cette mise à jour est antérieure à votre version de Gravelhorn"}}},
      {"ger",
       {{0, "Nicht genügend freier Arbeitsspeicher!"},
        {1, "Kann folgende Datei zum Beschreiben nicht öffnen:"},
        {4, "Aktualisierung der Dateien nicht möglich. "},
        {10, "Dieser Patch ist älter als Ihre Version von Kieselfuchs!"}}},
      {"spa",
       {{6, "versión base:\t"},
        {7, "versión actualizada:\t"},
        {10, "¡Este parche es para una versión anterior de Gravelhorn!"}}},
      {"ita",
       {{3, "Gravelhorn o la relativa voce di registro non è stata trovato!"},
        {10, "Questa patch è più vecchia della tua attuale versione di Gravelhorn"}}}};
  // A locale whose ANSI code page is each code page a language may be
  // written for (a new one also goes into TEST_LOCALES).
  const std::map<unsigned, std::string> localeOf = {
      {1250, "hu_HU.UTF-8"}, {1251, "ru_RU.UTF-8"}, {1252, "C.UTF-8"},
      {1253, "el_GR.UTF-8"}, {1254, "tr_TR.UTF-8"}, {1257, "lt_LT.UTF-8"},
  };
  std::string skipped;
  for (const CatalogueLanguage& language : MessageCatalogue) {
    SCOPED_TRACE(language.code);
    const auto locale = localeOf.find(language.codePage);
    ASSERT_NE(localeOf.end(), locale) << "no locale of code page " << language.codePage;
    const bool plain = locale->second == "C.UTF-8";
    const std::string locales = plain ? "" : CompiledLocale(locale->second);
    if (!plain && locales.empty()) {  // the other languages are still read
      skipped += " " + locale->second;
      continue;
    }
    ScopedEnvironment lcAll("LC_ALL", locale->second.c_str()),
        locpath("LOCPATH", plain ? nullptr : locales.c_str());
    ASSERT_EQ(language.codePage, AnsiCodePage());
    for (int id = 0; id < kMessageCount; ++id) {
      const std::string text = language.texts[id];
      if (readable[language.code].count(id))  // each is taken off as it is met
        EXPECT_EQ(readable[language.code].extract(id).mapped(), NarrowToHost(text)) << id;
      else
        for (unsigned char c : text) EXPECT_LT(c, 0x80) << id << ": " << text;
    }
  }
  if (!skipped.empty()) GTEST_SKIP() << "localedef cannot compile" << skipped;
  for (const auto& [code, texts] : readable) EXPECT_TRUE(texts.empty()) << code << " is missing";
}

// The guides name the catalogue's languages as its list does: every list
// of five codes or more that starts with English's, with or without
// backticks, names them all, in order.
TEST(MessageCatalogue, TheGuidesListItsLanguages) {
  const std::string plain = CatalogueCodeList();
  const std::string ticked = "`" + std::regex_replace(plain, std::regex(", "), "`, `") + "`";
  const std::regex list("`?eng`?(, `?[a-z]{3}`?){4,}");
  int lists = 0;
  for (const char* guide :
       {"/README.md", "/docs/players.md", "/docs/publishers.md", "/docs/maintainers.md"}) {
    const std::string text = ReadFileBytes(std::string(SOURCE_DIR) + guide);
    for (std::sregex_iterator found(text.begin(), text.end(), list), end; found != end;
         ++found, ++lists)
      EXPECT_TRUE(found->str() == plain || found->str() == ticked ||
                  found->str() == "`" + plain + "`")
          << guide << ": " << found->str();
  }
  EXPECT_GE(lists, 2);
}

TEST(NormaliseInstallPath, EndsInExactlyOneBackslash) {
  const std::pair<std::string, std::string> rows[] = {
      {"C:\\Games\\GHR", "C:\\Games\\GHR\\"},
      {"C:\\Games\\GHR\\", "C:\\Games\\GHR\\"},
      {"", "\\"},
      {"\\", "\\"},
      {"C:/Games/", "C:/Games/\\"},
  };
  for (const auto& [given, normalised] : rows) {
    char path[kInstallPathSize] = {};
    given.copy(path, given.size());
    NormaliseInstallPath(path, sizeof path);
    EXPECT_EQ(normalised, path);
  }
}

}  // namespace
