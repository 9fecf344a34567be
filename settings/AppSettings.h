#pragma once
#include "settings/IniFile.h"

#include <string>
#include <string_view>

// Every persistent setting, read from and written to config.ini in a folder (the current one when
// none is given). Short-lived: one object per read or write. Without a config.ini reads give their
// defaults and the first write creates it.
class AppSettings {
public:
    static constexpr const char* kFileName = "config.ini";
    static constexpr const char* kDefaultChannelName =
        "\xBB\xAA\xD3\xEF\xC6\xB5\xB5\xC0"; // 华语频道
    static constexpr int kDefaultChannelId = 1;
    static constexpr int kDefaultVolume = 50;
    // Bases of the remote sites, scheme://host[:port]; "Server" keys override them.
    static constexpr const char* kDefaultServiceBase = "http://www.lantorfm.com";
    static constexpr const char* kDefaultLyrics1Base = "http://www.lrcfinder.net";
    static constexpr const char* kDefaultLyrics2Base = "http://www.lrcsearch.net";

    AppSettings();
    explicit AppSettings(const std::string& folder);
    bool IsLoaded() const { return loaded_; }

    bool SaveRememberState(bool on);
    bool SaveAccount(std::string_view email, std::string_view password);
    bool SaveAutoLogin(bool on);
    bool SaveVolume(int volume);
    bool SaveChannel(int id, const char* name); // null name stores the default name
    bool SaveHistory(std::string_view text);
    // The main window's place on the screen ([AppSet] left, top), as the listener left it.
    bool SaveWindowPlace(int left, int top);

    bool LoadRememberState();
    // Each stored value is decoded into its output; an absent one leaves its output untouched.
    void LoadAccount(std::string& email, std::string& password);
    bool LoadAutoLogin();
    int LoadVolume();
    bool LoadChannel(int& id, std::string& name);
    bool LoadHistory(std::string& text);
    // False, leaving both alone, unless both are stored.
    bool LoadWindowPlace(int& left, int& top);
    // Song notifications on the desktop: on unless [AppSet] notify is "off".
    bool LoadNotify();
    // A switch of [AppSet], "on" or "off"; an absent key, any other value or no config.ini
    // reads as byDefault.
    bool LoadSwitch(const char* key, bool byDefault);
    bool SaveSwitch(const char* key, bool on);
    // A text of [AppSet]: false when absent or no config.ini. Saving
    // writes only into a config.ini that is there.
    bool LoadText(const char* key, std::string& value);
    bool SaveText(const char* key, std::string_view value);

    // [AppSet] language as written ("zh_CN", "zh_TW", "en"); empty when absent or no config.ini.
    std::string LoadLanguage();

    std::string ServiceBase();
    std::string Lyrics1Base();
    std::string Lyrics2Base();

private:
    bool Save();

    std::string path_;
    IniFile ini_;
    bool loaded_ = false;
};
