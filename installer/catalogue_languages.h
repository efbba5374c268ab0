/* The message catalogue's languages, in LanguageIndex order: the registry's
   language code, the Windows language id of the texts and the code page
   they are written for. The catalogue's rows (messages.cc) are checked
   against this list when they compile, and the Windows version resource
   (programs/windows/patch_installer.rc), its check
   (tests/check_windows_program.sh) and the guides' lists, which a test
   holds against it, take their list of languages from it. windres reads it too:
   macros only. LANGUAGE(code, language id, code page) */
#ifndef GRAVELHORN_INSTALLER_CATALOGUE_LANGUAGES_H_
#define GRAVELHORN_INSTALLER_CATALOGUE_LANGUAGES_H_

#define CATALOGUE_LANGUAGES(LANGUAGE) \
  LANGUAGE("eng", 0x0409, 1252)       \
  LANGUAGE("hun", 0x040E, 1250)       \
  LANGUAGE("fra", 0x040C, 1252)       \
  LANGUAGE("ger", 0x0407, 1252)       \
  LANGUAGE("spa", 0x0C0A, 1252)       \
  LANGUAGE("ita", 0x0410, 1252)

#endif
