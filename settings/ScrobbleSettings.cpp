#include "settings/ScrobbleSettings.h"

#include "scrobble/ListenBrainzClient.h"
#include "session/SessionSettings.h"

ScrobbleSettings ScrobbleSettings::Load(SessionSettings& stored) {
    ScrobbleSettings loaded;
    loaded.on = stored.LoadSwitch(kSwitchKey, false);
    loaded.server = std::string(ListenBrainzClient::kDefaultServer);
    std::string server;
    if (stored.LoadText(kServerKey, server)) {
        if (std::string usable = Usable(server); !usable.empty())
            loaded.server = std::move(usable);
    }
    return loaded;
}

bool ScrobbleSettings::SaveSwitch(SessionSettings& stored, bool on) {
    return stored.SaveSwitch(kSwitchKey, on);
}

bool ScrobbleSettings::SaveServer(SessionSettings& stored, std::string_view server) {
    const std::string usable = Usable(server);
    return !usable.empty() && stored.SaveText(kServerKey, usable);
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
