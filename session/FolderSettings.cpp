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
std::string FolderSettings::ServiceBase() {
    return AppSettings(folder).ServiceBase();
}
std::string FolderSettings::Lyrics1Base() {
    return AppSettings(folder).Lyrics1Base();
}
std::string FolderSettings::Lyrics2Base() {
    return AppSettings(folder).Lyrics2Base();
}
