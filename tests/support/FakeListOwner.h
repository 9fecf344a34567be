#pragma once
#include "controls/IListOwner.h"

#include <string>
#include <vector>

// The window behind the list pages, recording each request as "play 3", "switch 10 Rock" or
// "show 0".
struct FakeListOwner : IListOwner {
    void PlaySongAt(int index) override { calls.push_back("play " + std::to_string(index)); }
    void SwitchChannel(int id, const std::string& name) override {
        calls.push_back("switch " + std::to_string(id) + " " + name);
    }
    void ShowListPage(int page) override { calls.push_back("show " + std::to_string(page)); }
    std::string ServiceBase() override { return base; }

    std::vector<std::string> calls;
    std::string base; // none: the channel page's request fails at once
};
