#include "installer/messages.h"

#include <cstring>

#include "filesystem/archive_table.h"
#include "filesystem/ascii_case.h"
#include "filesystem/run_end.h"
#include "installer/settings.h"
#include "platform/message_box.h"
#include "platform/process_end.h"

// Non-ASCII letters are the code page's bytes; a literal is split where a
// letter after an escape could be read as a further hex digit.
// Texts split after an escape are one text each; a row with a text too few
// does not compile.
// NOLINTBEGIN(bugprone-suspicious-missing-comma)
constexpr CatalogueLanguage MessageCatalogue[kLanguageCount] = {
    {"eng",
     1252,
     {
         "Not enough free memory!",
         "Unable to open the following file for writing :",
         "File not found:",
         "Gravelhorn or the registry entry was not found!",
         "Unable to update the files. ",
         "Path:\t",
         "Base version:\t",
         "Upgraded version:\t",
         "Installed.",
         "Gravelhorn Patch Installer",
         "This patch is older than your current version of Gravelhorn!",
     }},
    {"hun",
     1250,
     {
         "Nincs el\xE9g memoria!",
         "A k\xF6vetkez\xF5 file-t nem tudja \xEDr\xE1sra megnyitni:",
         "A k\xF6vetkez\xF5 file-t nem tudja megnyitni:",
         "Gravelhorn vagy annak bejegyz\xE9seit nem tal\xE1lom!",
         "Nem tudom a file-okat friss\xEDteni!",
         "\xDAtvonal:\t",
         "Alap verzi\xF3:\t",
         "Friss\xEDtett verzi\xF3:\t",
         "Intalal\xE1s befejezve.",
         "Gravelhorn Patch Instal\xE1l\xF3 program",
         "A Patch r\xE9gebbi, mint a g\xE9peden tal\xE1lhat\xF3 Gravelhorn!",
     }},
    {"fra",
     1252,
     {
         "M\xE9moire libre insuffisante !",
         "Impossible d'ouvrir les fichiers suivants :",
         "Fichier introuvable :",
         "Gravelhorn ou les donn\xE9"
         "es sp\xE9"
         "cifiques de la base de registre sont introuvables !",
         "Mise \xE0 jour des fichiers impossible.",
         "Chemin d'acc\xE8s :\t",
         "Version de base :\t",
         "Version mise \xE0 jour :\t",
         "Install\xE9.",
         "Programme d'installation du patch de Gravelhorn.",
         "Cette mise \xE0 jour est ant\xE9rieure \xE0 votre version de "
         "Gravelhorn",
     }},
    {"ger",
     1252,
     {
         "Nicht gen\xFCgend freier Arbeitsspeicher!",
         "Kann folgende Datei zum Beschreiben nicht \xF6"
         "ffnen:",
         "Datei nicht gefunden:",
         "KIESELFUCHS oder der Eintrag in der Registrierung wurde nicht "
         "gefunden!",
         "Aktualisierung der Dateien nicht m\xF6glich. ",
         "Pfad:\t",
         "Basis-Version:\t",
         "Aktualisierte Version:\t",
         "installiert.",
         "KIESELFUCHS-Patch-Installation",
         "Dieser Patch ist \xE4lter als Ihre Version von Kieselfuchs!",
     }},
    {"spa",
     1252,
     {
         "No hay memoria libre suficiente.",
         "No se pudo abrir el siguiente archivo para escribir: ",
         "Archivo no encontrado:",
         "No se puede encontrar Gravelhorn o la entrada del registro.",
         "No se pueden actualizar los ficheros.",
         "Ruta:\t",
         "versi\xF3n base:\t",
         "versi\xF3n actualizada:\t",
         "instalado.",
         "Instalador del parche de Gravelhorn.",
         "\xA1"
         "Este parche es para una versi\xF3n anterior de Gravelhorn!",
     }},
    {"ita",
     1252,
     {
         "Memoria libera insufficiente!",
         "Impossibile accedere ai seguenti file per la scrittura:",
         "File non trovato:",
         "Gravelhorn o la relativa voce di registro non \xE8 stata trovato!",
         "Impossibile aggiornare i file.",
         "Percorso:\t",
         "Versione base:\t",
         "Versione aggiornata:\t",
         "Installata.",
         "Installer della patch di Gravelhorn",
         "Questa patch \xE8 pi\xF9 vecchia della tua attuale versione di "
         "Gravelhorn",
     }},
};
// NOLINTEND(bugprone-suspicious-missing-comma)

// Every language has its code and all its texts: a row left short would
// show empty messages.
constexpr bool EveryTextPresent() {
  for (const CatalogueLanguage& language : MessageCatalogue) {
    if (language.code[0] == '\0' || language.codePage == 0) return false;
    for (const auto& text : language.texts)
      if (text[0] == '\0') return false;
  }
  return true;
}
static_assert(EveryTextPresent(), "a language of the catalogue lacks a text");

// Each row has the code and code page that CATALOGUE_LANGUAGES gives it.
constexpr bool SameCode(const char* a, const char* b) {
  while (*a != '\0' && *a == *b) ++a, ++b;
  return *a == *b;
}
#define GRAVELHORN_LISTED_LANGUAGE(code, languageId, codePage) {code, codePage},
constexpr struct {
  const char* code;
  unsigned codePage;
} kListedLanguages[] = {CATALOGUE_LANGUAGES(GRAVELHORN_LISTED_LANGUAGE)};
#undef GRAVELHORN_LISTED_LANGUAGE
constexpr bool RowsAsListed() {
  for (int i = 0; i < kLanguageCount; ++i)
    if (!SameCode(MessageCatalogue[i].code, kListedLanguages[i].code) ||
        MessageCatalogue[i].codePage != kListedLanguages[i].codePage)
      return false;
  return true;
}
static_assert(
    RowsAsListed(),
    "a row's code or code page is not the one CATALOGUE_LANGUAGES gives");

const char* MessageText(MessageId id) {
  return MessageCatalogue[LanguageIndex].texts[id];
}

int32_t SelectLanguage(const char* value) {
  int32_t selected = 0;
  for (int32_t i = 0; i < kLanguageCount; ++i) {
    if (EqualIgnoringAsciiCase(value, MessageCatalogue[i].code)) selected = i;
  }
  return selected;
}

std::string CatalogueCodes() {
  std::string codes;
  for (const CatalogueLanguage& language : MessageCatalogue)
    codes += (codes.empty() ? "" : ", ") + std::string(language.code);
  return codes;
}

namespace {

const char* TextForTheFileSystem(RunText which) {
  switch (which) {
    case RunText::kTitle:
      return MessageText(MESSAGE_TITLE);
    case RunText::kNoMemory:
      return MessageText(MESSAGE_NO_MEMORY);
    case RunText::kFileNotFound:
      return MessageText(MESSAGE_FILE_NOT_FOUND);
    case RunText::kCannotUpdate:
      return MessageText(MESSAGE_CANNOT_UPDATE);
  }
  return "";
}

// The file system and the configuration reader speak the installer's
// language and end a run with its fatal error from the start of the
// process, before anything is mounted or read.
[[maybe_unused]] const bool kRunEndConnected =
    (ConnectRunEnd({TextForTheFileSystem, FatalError}), true);

}  // namespace

void FatalError(const char* text) {
  ShowMessage(text, "ERROR", MESSAGE_STYLE_ERROR);
  CloseAllArchives();
  EndProcess(-1);
}
