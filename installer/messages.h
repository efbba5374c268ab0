// The message catalogue, language selection and the installer's fatal
// error.
#ifndef GRAVELHORN_INSTALLER_MESSAGES_H_
#define GRAVELHORN_INSTALLER_MESSAGES_H_

#include <cstdint>
#include <string>

#include "installer/catalogue_languages.h"

// The messages, by the number each has in every language; the English text
// of each is in messages.cc.
enum MessageId {
  MESSAGE_NO_MEMORY = 0,
  MESSAGE_CANNOT_WRITE = 1,  // followed by the file's name
  MESSAGE_FILE_NOT_FOUND = 2,
  MESSAGE_GAME_NOT_FOUND = 3,  // shown nowhere; kept with the catalogue
  MESSAGE_CANNOT_UPDATE = 4,
  MESSAGE_PATH_LABEL = 5,  // the summary's labels and last line
  MESSAGE_BASE_VERSION_LABEL = 6,
  MESSAGE_UPGRADED_VERSION_LABEL = 7,
  MESSAGE_INSTALLED = 8,
  MESSAGE_TITLE = 9,  // every box's caption but "ERROR"
  MESSAGE_PATCH_TOO_OLD = 10,
  kMessageCount = 11
};

#define GRAVELHORN_COUNT_LANGUAGE(code, languageId, codePage) +1
const int kLanguageCount = 0 CATALOGUE_LANGUAGES(GRAVELHORN_COUNT_LANGUAGE);
#undef GRAVELHORN_COUNT_LANGUAGE
const int kMessageFieldSize = 256;

// One language of the catalogue: its registry code, the Windows code page
// its texts are written for, and its texts, each zero-terminated in its own
// 256-byte field.
struct CatalogueLanguage {
  char code[4];
  unsigned codePage;
  char texts[kMessageCount][kMessageFieldSize];
};

// English, Hungarian, French, German, Spanish, Italian: a language's
// position is its LanguageIndex. Adding a language is adding it to
// CATALOGUE_LANGUAGES and its row here, in the same place.
extern const CatalogueLanguage MessageCatalogue[kLanguageCount];

// The catalogue's language codes in order: "eng, hun, ...".
std::string CatalogueCodes();

// The text of message id in the language LanguageIndex holds now. The
// pointer stays valid for the whole run.
const char* MessageText(MessageId id);

// The LanguageIndex for a registry language code: the position of the code
// that equals value as a whole string, ignoring the case of A-Z; 0 (English)
// when none does.
int32_t SelectLanguage(const char* value);

// Shows text in an error box captioned "ERROR", closes all archives and ends
// the process with exit code -1. Never returns.
[[noreturn]] void FatalError(const char* text);

#endif  // GRAVELHORN_INSTALLER_MESSAGES_H_
