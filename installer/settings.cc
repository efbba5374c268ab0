#include "installer/settings.h"

char InstallPath[kInstallPathSize];
char LanguageValue[kLanguageValueSize];
int32_t LanguageIndex;
char BaseVersion[kBaseVersionSize];
