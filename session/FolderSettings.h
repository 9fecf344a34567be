#pragma once
#include "session/SessionSettings.h"

#include <string>

// The settings in config.ini of one working folder, given once; "" is the process's current
// folder at each call (where the program was started, unless something changes it).
class FolderSettings : public SessionSettings {
public:
    explicit FolderSettings(std::string folder = {});

    bool LoadChannel(int& id, std::string& name) override;
    bool SaveChannel(int id, const std::string& name) override;
    int LoadVolume() override;
    bool SaveVolume(int volume) override;
    bool SaveHistory(std::string_view history) override;
    bool LoadWindowPlace(int& left, int& top) override;
    bool SaveWindowPlace(int left, int top) override;
    bool LoadNotify() override;
    bool LoadSwitch(const char* key, bool byDefault) override;
    bool SaveSwitch(const char* key, bool on) override;
    bool LoadText(const char* key, std::string& value) override;
    bool SaveText(const char* key, std::string_view value) override;
    std::string LoadLanguage() override;
    bool LoadRememberState() override;
    bool SaveRememberState(bool on) override;
    void LoadAccount(std::string& email, std::string& password) override;
    bool SaveAccount(std::string_view email, std::string_view password) override;
    bool LoadAutoLogin() override;
    bool SaveAutoLogin(bool on) override;
    std::string ServiceBase() override;
    std::string Lyrics1Base() override;
    std::string Lyrics2Base() override;

    const std::string& Folder() const { return folder; }

private:
    const std::string folder;
};
