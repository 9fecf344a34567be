#include "session/FolderSettings.h"

#include "settings/AppSettings.h"

FolderSettings::FolderSettings(std::string folder_) : folder(std::move(folder_)) {}

bool FolderSettings::LoadChannel(int& id, std::string& name) {
    return AppSettings(folder).LoadChannel(id, name);
}
bool FolderSettings::SaveChannel(int id, const std::string& name) {
    return AppSettings(folder).SaveChannel(id, name.c_str());
}
int FolderSettings::LoadVolume() {
    return AppSettings(folder).LoadVolume();
}
bool FolderSettings::SaveVolume(int volume) {
    return AppSettings(folder).SaveVolume(volume);
}
bool FolderSettings::SaveHistory(std::string_view history) {
    return AppSettings(folder).SaveHistory(history);
}
bool FolderSettings::LoadWindowPlace(int& left, int& top) {
    return AppSettings(folder).LoadWindowPlace(left, top);
}
bool FolderSettings::SaveWindowPlace(int left, int top) {
    return AppSettings(folder).SaveWindowPlace(left, top);
}
bool FolderSettings::LoadNotify() {
    return AppSettings(folder).LoadNotify();
}
bool FolderSettings::LoadSwitch(const char* key, bool byDefault) {
    return AppSettings(folder).LoadSwitch(key, byDefault);
}
bool FolderSettings::SaveSwitch(const char* key, bool on) {
    return AppSettings(folder).SaveSwitch(key, on);
}
bool FolderSettings::LoadText(const char* key, std::string& value) {
    return AppSettings(folder).LoadText(key, value);
}
bool FolderSettings::SaveText(const char* key, std::string_view value) {
    return AppSettings(folder).SaveText(key, value);
}
std::string FolderSettings::LoadLanguage() {
    return AppSettings(folder).LoadLanguage();
}
bool FolderSettings::LoadRememberState() {
    return AppSettings(folder).LoadRememberState();
}
bool FolderSettings::SaveRememberState(bool on) {
    return AppSettings(folder).SaveRememberState(on);
}
void FolderSettings::LoadAccount(std::string& email, std::string& password) {
    AppSettings(folder).LoadAccount(email, password);
}
bool FolderSettings::SaveAccount(std::string_view email, std::string_view password) {
    return AppSettings(folder).SaveAccount(email, password);
}
bool FolderSettings::LoadAutoLogin() {
    return AppSettings(folder).LoadAutoLogin();
}
bool FolderSettings::SaveAutoLogin(bool on) {
    return AppSettings(folder).SaveAutoLogin(on);
}
std::string FolderSettings::ServiceBase() {
    return AppSettings(folder).ServiceBase();
}
std::string FolderSettings::Lyrics1Base() {
    return AppSettings(folder).Lyrics1Base();
}
std::string FolderSettings::Lyrics2Base() {
    return AppSettings(folder).Lyrics2Base();
}
