#include "settings/AppSettings.h"

#include "platform/Log.h"
#include "platform/TextEncoding.h"

#include <filesystem>
#include <system_error>

namespace {
constexpr const char* kAccount = "Account";
constexpr const char* kAppSet = "AppSet";
constexpr const char* kServer = "Server";

std::string Base(const IniFile& ini, bool loaded, const char* key, const char* def) {
    std::string value = def;
    if (loaded)
        ini.GetString(kServer, key, value, def);
    while (!value.empty() && value.back() == '/')
        value.pop_back();
    return value.empty() ? def : value;
}
} // namespace

AppSettings::AppSettings() : AppSettings(std::string()) {}

AppSettings::AppSettings(const std::string& folder)
    : path_(folder.empty() ? kFileName : folder + "/" + kFileName) {
    loaded_ = ini_.Load(path_);
}

bool AppSettings::SaveRememberState(bool on) {
    ini_.AddSection(kAccount);
    ini_.SetString(kAccount, "remstate", on ? "on" : "off");
    return Save();
}

bool AppSettings::SaveAccount(std::string_view email, std::string_view password) {
    ini_.AddSection(kAccount);
    ini_.SetString(kAccount, "email", HexEncode(email));
    ini_.SetString(kAccount, "pass", HexEncode(password));
    // The password is only hex-encoded: Save writes a file private to its owner.
    return Save();
}

bool AppSettings::SaveAutoLogin(bool on) {
    ini_.AddSection(kAccount);
    ini_.SetString(kAccount, "autologin", on ? "on" : "off");
    return Save();
}

bool AppSettings::SaveVolume(int volume) {
    ini_.AddSection(kAppSet);
    ini_.SetInt(kAppSet, "volume", volume < 0 ? 0 : volume);
    return Save();
}

bool AppSettings::SaveChannel(int id, const char* name) {
    ini_.AddSection(kAppSet);
    ini_.SetInt(kAppSet, "chid", id < 0 ? kDefaultChannelId : id);
    ini_.SetString(kAppSet, "chname", name ? name : kDefaultChannelName);
    return Save();
}

bool AppSettings::SaveHistory(std::string_view text) {
    ini_.AddSection(kAppSet);
    ini_.SetString(kAppSet, "history", text);
    return Save();
}

bool AppSettings::SaveWindowPlace(int left, int top) {
    ini_.AddSection(kAppSet);
    ini_.SetInt(kAppSet, "left", left);
    ini_.SetInt(kAppSet, "top", top);
    return Save();
}

bool AppSettings::LoadRememberState() {
    std::string value;
    return loaded_ && ini_.GetString(kAccount, "remstate", value, "off") && value == "on";
}

void AppSettings::LoadAccount(std::string& email, std::string& password) {
    if (!loaded_)
        return;
    std::string value;
    if (ini_.GetString(kAccount, "email", value, ""))
        email = HexDecode(value);
    if (ini_.GetString(kAccount, "pass", value, ""))
        password = HexDecode(value);
}

bool AppSettings::LoadAutoLogin() {
    std::string value;
    return loaded_ && ini_.GetString(kAccount, "autologin", value, "off") && value == "on";
}

int AppSettings::LoadVolume() {
    int volume = kDefaultVolume;
    if (loaded_)
        ini_.GetInt(kAppSet, "volume", volume, kDefaultVolume);
    return volume;
}

bool AppSettings::LoadChannel(int& id, std::string& name) {
    if (!loaded_)
        return false;
    ini_.GetInt(kAppSet, "chid", id, kDefaultChannelId);
    ini_.GetString(kAppSet, "chname", name, kDefaultChannelName);
    return true;
}

bool AppSettings::LoadHistory(std::string& text) {
    if (!loaded_)
        return false;
    ini_.GetString(kAppSet, "history", text, "");
    return true;
}

bool AppSettings::LoadWindowPlace(int& left, int& top) {
    int x = 0, y = 0;
    if (!loaded_ || !ini_.GetInt(kAppSet, "left", x, 0) || !ini_.GetInt(kAppSet, "top", y, 0))
        return false;
    left = x;
    top = y;
    return true;
}

bool AppSettings::LoadNotify() {
    std::string value;
    return !loaded_ || !ini_.GetString(kAppSet, "notify", value, "on") || value != "off";
}

bool AppSettings::LoadSwitch(const char* key, bool byDefault) {
    std::string value;
    if (!loaded_ || !ini_.GetString(kAppSet, key, value, ""))
        return byDefault;
    return value == "on" || (value != "off" && byDefault);
}

bool AppSettings::SaveSwitch(const char* key, bool on) {
    ini_.AddSection(kAppSet);
    ini_.SetString(kAppSet, key, on ? "on" : "off");
    return Save();
}

bool AppSettings::LoadText(const char* key, std::string& value) {
    return loaded_ && ini_.GetString(kAppSet, key, value, "");
}

bool AppSettings::SaveText(const char* key, std::string_view value) {
    if (!loaded_)
        return false;
    ini_.AddSection(kAppSet);
    return ini_.SetString(kAppSet, key, value) && ini_.Save();
}

bool AppSettings::Save() {
    // A missing file is made now (private to its owner, as every save writes it), so the
    // listener's choices are kept from the first run on. One that is there but could not be
    // read is never replaced by the few keys this object holds.
    std::error_code error;
    if (!loaded_ && std::filesystem::symlink_status(path_, error).type() !=
                        std::filesystem::file_type::not_found) {
        Log(Log::kSettings) << path_ << " could not be read; not saved over";
        return false;
    }
    if (!ini_.Save())
        return false;
    loaded_ = true;
    return true;
}

std::string AppSettings::LoadLanguage() {
    std::string value;
    if (loaded_)
        ini_.GetString(kAppSet, "language", value, "");
    return value;
}

std::string AppSettings::ServiceBase() {
    return Base(ini_, loaded_, "service", kDefaultServiceBase);
}
std::string AppSettings::Lyrics1Base() {
    return Base(ini_, loaded_, "lyrics1", kDefaultLyrics1Base);
}
std::string AppSettings::Lyrics2Base() {
    return Base(ini_, loaded_, "lyrics2", kDefaultLyrics2Base);
}
