#include "settings/ScrobbleSettings.h"

#include "scrobble/ListenBrainzClient.h"
#include "settings/AppSettings.h"

namespace {
constexpr const char* kAppSet = "AppSet";
} // namespace

ScrobbleSettings ScrobbleSettings::Load() {
    AppSettings settings;
    ScrobbleSettings loaded;
    loaded.on = settings.LoadSwitch(kSwitchKey, false);
    loaded.server = std::string(ListenBrainzClient::kDefaultServer);
    IniFile ini;
    std::string stored;
    if (ini.Load(AppSettings::kFileName) && ini.GetString(kAppSet, kServerKey, stored, "")) {
        if (std::string usable = Usable(stored); !usable.empty())
            loaded.server = std::move(usable);
    }
    return loaded;
}

bool ScrobbleSettings::SaveSwitch(bool on) {
    return AppSettings().SaveSwitch(kSwitchKey, on);
}

bool ScrobbleSettings::SaveServer(std::string_view server) {
    const std::string usable = Usable(server);
    IniFile ini;
    if (usable.empty() || !ini.Load(AppSettings::kFileName))
        return false;
    ini.AddSection(kAppSet);
    return ini.SetString(kAppSet, kServerKey, usable) && ini.Save();
}

std::string ScrobbleSettings::Usable(std::string_view server) {
    while (!server.empty() && server.back() == '/')
        server.remove_suffix(1);
    if (server.size() > kMaxServerBytes)
        return {};
    for (const char c : server)
        if (c <= ' ' || c > '~')
            return {};
    const ListenBrainzClient client{std::string(server)};
    return client.HasUsableServer() ? client.Server() : std::string();
}
