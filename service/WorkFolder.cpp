#include "service/WorkFolder.h"

#include "service/CachePath.h"

WorkFolder::WorkFolder(std::string folder_) : folder(std::move(folder_)) {
    if (!folder.empty() && folder.back() != '/')
        folder += '/';
}

std::string WorkFolder::Path(std::string_view relative) const {
    std::string path = folder;
    path.append(relative);
    return path;
}

std::optional<std::string> WorkFolder::Cache(int kind, std::string_view sid) const {
    std::optional<std::string> relative = CachePath(kind, sid);
    if (!relative || folder.empty())
        return relative;
    return Path(*relative);
}

std::string WorkFolder::Resource(std::string_view name) const {
    return Path(std::string("res/").append(name));
}

std::string WorkFolder::ScrobbleQueue() const {
    return Path(kScrobbleQueueName);
}
