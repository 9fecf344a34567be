#include "app/Translations.h"

#include "platform/Log.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QString>
#include <cstdlib>
#include <mutex>
#include <string>

// Outside any namespace, as Q_INIT_RESOURCE requires: the .qm files live in a static library.
static void InitTranslationResources() {
    static std::once_flag once;
    std::call_once(once, [] { Q_INIT_RESOURCE(lantor_translations); });
}

namespace {

std::string_view Env(const char* name) {
    const char* value = std::getenv(name);
    return value ? std::string_view(value) : std::string_view();
}

} // namespace

Translations::Language Translations::FromLocale(std::string_view name) {
    name = name.substr(0, name.find_first_of(".@"));
    if (name.substr(0, 2) != "zh" || (name.size() > 2 && name[2] != '_' && name[2] != '-'))
        return Language::kEnglish;
    const std::string_view rest = name.size() > 3 ? name.substr(3) : std::string_view();
    if (rest == "TW" || rest == "HK" || rest == "MO" || rest.substr(0, 4) == "Hant")
        return Language::kTraditionalChinese;
    return Language::kSimplifiedChinese;
}

Translations::Language Translations::Choose(std::string_view setting) {
    if (setting == "zh_CN")
        return Language::kSimplifiedChinese;
    if (setting == "zh_TW")
        return Language::kTraditionalChinese;
    if (setting == "en")
        return Language::kEnglish;
    if (!setting.empty())
        Log(Log::kSettings) << "unknown language \"" << std::string(setting).substr(0, 32)
                            << "\" in config.ini, the desktop's is used";
    std::string_view language = Env("LANGUAGE");
    language = language.substr(0, language.find(':'));
    for (std::string_view name : {language, Env("LC_ALL"), Env("LC_MESSAGES"), Env("LANG")})
        if (!name.empty())
            return FromLocale(name);
    return Language::kEnglish;
}

const char* Translations::Name(Language language) {
    switch (language) {
    case Language::kSimplifiedChinese:
        return "zh_CN";
    case Language::kTraditionalChinese:
        return "zh_TW";
    case Language::kEnglish:
        break;
    }
    return "en";
}

Translations::Translations(Language language_) : language(language_) {
    InitTranslationResources();
    const QString name = QString::fromLatin1(Name(language));
    if (language != Language::kSimplifiedChinese) {
        if (program.load(QStringLiteral(":/i18n/lantorfm_") + name))
            QCoreApplication::installTranslator(&program);
        else
            Log(Log::kSettings) << "no built-in translation for " << Name(language);
    }
    const QString qtDir = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    if (language != Language::kEnglish) {
        if (qt.load(QStringLiteral("qtbase_") + name, qtDir))
            QCoreApplication::installTranslator(&qt);
        else
            Log(Log::kSettings) << "Qt's own texts stay English: no qtbase_" << Name(language)
                                << ".qm in " << qtDir.toStdString();
    }
    QLocale::setDefault(QLocale(name));
}

Translations::~Translations() {
    QCoreApplication::removeTranslator(&program);
    QCoreApplication::removeTranslator(&qt);
}
