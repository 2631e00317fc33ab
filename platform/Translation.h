// The language of the window. The program's texts are written in Chinese, and Chinese is
// what a zh_* locale, the C or POSIX locale and no locale at all show; every other
// locale shows the English translation, built from res/i18n/plumfinch_en.ts into a Qt
// resource. PLUMFINCH_LANG=zh or en overrides the locale. A translation that cannot be
// loaded leaves every text in Chinese (never a mix of both) and says so once in the
// debug log.
#pragma once
#include <QString>
#include <string>

#include "net/UserText.h"

enum class ELanguage { Chinese, English };

// The language for these environment values (null for an unset variable): PLUMFINCH_LANG
// when it is "zh" or "en"; else the first of LC_ALL, LC_MESSAGES and LANG that is set and
// not empty decides: zh_*, C and POSIX (with or without a codeset) are Chinese, anything
// else English. No locale at all is Chinese.
ELanguage ChooseLanguage(const char* plumfinchLang, const char* lcAll, const char* lcMessages,
                         const char* lang);
// The same for the program's environment.
ELanguage LanguageFromEnvironment();

// The built-in English translation.
extern const char* const kEnglishTranslation;

// Loads the translation for language (from qmFile, for English) and makes it the one the
// window uses, replacing any loaded before. The language in effect: Chinese when English
// was asked for but qmFile is missing, unreadable or not a translation file. Needs the
// application object; the user-interface thread.
ELanguage InstallTranslation(ELanguage language, const QString& qmFile = kEnglishTranslation);
ELanguage CurrentLanguage();

// A source text in the window's language (the source itself when it has no translation).
QString TrQ(const char* source);
std::string Tr(const std::string& source);
// A text with arguments: its formats translated, then the arguments substituted.
std::string TrText(const SUserText& text);
