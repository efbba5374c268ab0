// The message catalogue, language selection and the installer's fatal
// error.
#ifndef GRAVELHORN_INSTALLER_MESSAGES_H_
#define GRAVELHORN_INSTALLER_MESSAGES_H_

#include <cstdint>

const int kLanguageCount = 6;
const int kMessageCount = 11;
const int kMessageFieldSize = 256;

// A message number, 0 to 10; the same number in every language.
typedef int MessageId;

// "eng", "hun", "fra", "ger", "spa", "ita", in LanguageIndex order.
extern const char LanguageCodes[kLanguageCount][4];

// 6 languages x 11 messages, each zero-terminated in its own 256-byte field.
// Hungarian is written in code page 1250, the others in 1252.
extern const char MessageCatalogue[kLanguageCount][kMessageCount]
                                  [kMessageFieldSize];

// The text of message id in the language LanguageIndex holds now. The
// pointer stays valid for the whole run. Callers pass constants 0 to 10.
const char* MessageText(MessageId id);

// The LanguageIndex for a registry language code: the position of the code
// that equals value as a whole string, ignoring the case of A-Z; 0 (English)
// when none does.
int32_t SelectLanguage(const char* value);

// The Windows code page the texts of languageIndex are written in.
unsigned CodePageOfLanguage(int32_t languageIndex);

// Shows text in an error box captioned "ERROR", closes all archives and ends
// the process with exit code -1. Never returns.
[[noreturn]] void FatalError(const char* text);

#endif  // GRAVELHORN_INSTALLER_MESSAGES_H_
