#pragma once
#include <string>
#include <string_view>

// Everything the session and its window keep between runs, and the sites they talk to. One
// object for the whole run; each call reads or writes the stored file afresh.
class SessionSettings {
public:
    virtual ~SessionSettings() = default;

    // False when nothing is stored (no file): id and name stay as they were.
    virtual bool LoadChannel(int& id, std::string& name) = 0;
    virtual bool SaveChannel(int id, const std::string& name) = 0;
    virtual int LoadVolume() = 0;
    virtual bool SaveVolume(int volume) = 0;
    virtual bool SaveHistory(std::string_view history) = 0;
    virtual bool LoadWindowPlace(int& left, int& top) = 0;
    virtual bool SaveWindowPlace(int left, int top) = 0;
    virtual bool LoadNotify() = 0;
    // [AppSet] switches ("on" or "off"), as AppSettings reads and writes them.
    virtual bool LoadSwitch(const char* key, bool byDefault) = 0;
    virtual bool SaveSwitch(const char* key, bool on) = 0;
    // A text of [AppSet]: false when absent or no file is there. Saving
    // writes only into a file that is there.
    virtual bool LoadText(const char* key, std::string& value) = 0;
    virtual bool SaveText(const char* key, std::string_view value) = 0;
    virtual std::string LoadLanguage() = 0;

    // The remembered account (GBK texts); see AppSettings.
    virtual bool LoadRememberState() = 0;
    virtual bool SaveRememberState(bool on) = 0;
    virtual void LoadAccount(std::string& email, std::string& password) = 0;
    virtual bool SaveAccount(std::string_view email, std::string_view password) = 0;
    virtual bool LoadAutoLogin() = 0;
    virtual bool SaveAutoLogin(bool on) = 0;

    virtual std::string ServiceBase() = 0;
    virtual std::string Lyrics1Base() = 0;
    virtual std::string Lyrics2Base() = 0;
};
