// Choosing the language at start and translating texts where the window shows them.
#include "platform/Translation.h"

#include <QCoreApplication>
#include <QTranslator>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "net/DebugLog.h"

namespace {

// Every text of the program is in one context of the translation file.
constexpr const char* kContext = "Plumfinch";

std::unique_ptr<QTranslator> g_translator;  // the user-interface thread's
ELanguage g_language = ELanguage::Chinese;

bool IsSet(const char* value) { return value && *value; }

}  // namespace

const char* const kEnglishTranslation = ":/i18n/plumfinch_en.qm";

ELanguage ChooseLanguage(const char* plumfinchLang, const char* lcAll, const char* lcMessages,
                         const char* lang) {
  if (IsSet(plumfinchLang)) {
    if (std::strcmp(plumfinchLang, "zh") == 0) return ELanguage::Chinese;
    if (std::strcmp(plumfinchLang, "en") == 0) return ELanguage::English;
  }
  const char* locale = IsSet(lcAll) ? lcAll : IsSet(lcMessages) ? lcMessages : lang;
  if (!IsSet(locale)) return ELanguage::Chinese;
  // The language part: before the codeset (".UTF-8") and the modifier ("@euro").
  const std::string name(locale, std::strcspn(locale, ".@"));
  if (name == "C" || name == "POSIX" || name == "zh" || name.rfind("zh_", 0) == 0)
    return ELanguage::Chinese;
  return ELanguage::English;
}

ELanguage LanguageFromEnvironment() {
  return ChooseLanguage(std::getenv("PLUMFINCH_LANG"), std::getenv("LC_ALL"),
                        std::getenv("LC_MESSAGES"), std::getenv("LANG"));
}

ELanguage InstallTranslation(ELanguage language, const QString& qmFile) {
  if (g_translator) {
    QCoreApplication::removeTranslator(g_translator.get());
    g_translator.reset();
  }
  g_language = ELanguage::Chinese;
  if (language == ELanguage::Chinese) return g_language;
  auto translator = std::make_unique<QTranslator>();
  // load() refuses a file that is missing or is not a translation file; one without a
  // single text would show Chinese everywhere while claiming to be English.
  if (!translator->load(qmFile) || translator->isEmpty() ||
      !QCoreApplication::installTranslator(translator.get())) {
    DebugLogNote("the English texts (" + qmFile.toStdString() +
                 ") could not be loaded; the window shows Chinese");
    return g_language;
  }
  g_translator = std::move(translator);
  g_language = language;
  return g_language;
}

ELanguage CurrentLanguage() { return g_language; }

QString TrQ(const char* source) {
  if (!source || !*source) return QString();
  return QCoreApplication::translate(kContext, source);
}

std::string Tr(const std::string& source) { return TrQ(source.c_str()).toStdString(); }

std::string TrText(const SUserText& text) {
  return text.Compose([](const std::string& source) { return Tr(source); });
}
