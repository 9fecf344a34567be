#pragma once
#include <QTranslator>
#include <string_view>

// The window's language. The Simplified Chinese texts are the source texts; English and
// Traditional Chinese come from the translations built into the program, Qt's own texts (the
// buttons of its dialogs) from the qtbase translations installed with Qt. Only what is shown
// changes: nothing sent or stored depends on the language.
class Translations {
public:
    enum class Language { kSimplifiedChinese, kTraditionalChinese, kEnglish };

    // A locale name as the locale variables hold it ("zh_TW.UTF-8", "zh_HK", "en_GB", "C"):
    // Traditional Chinese for Taiwan, Hong Kong, Macao and zh_Hant, Simplified for every other
    // Chinese, English for anything else.
    static Language FromLocale(std::string_view name);
    // [AppSet] language's value ("zh_CN", "zh_TW", "en") when it is one of those, else the
    // first of LANGUAGE (its first entry), LC_ALL, LC_MESSAGES and LANG that is set.
    static Language Choose(std::string_view setting);
    // The locale name of a language: "zh_CN", "zh_TW", "en".
    static const char* Name(Language language);

    // Installs the language's translators on the application; the destructor removes them.
    explicit Translations(Language language);
    ~Translations();
    Translations(const Translations&) = delete;
    Translations& operator=(const Translations&) = delete;

    Language Current() const { return language; }

private:
    Language language;
    QTranslator program;
    QTranslator qt;
};
