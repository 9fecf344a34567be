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

    virtual std::string ServiceBase() = 0;
    virtual std::string Lyrics1Base() = 0;
    virtual std::string Lyrics2Base() = 0;
};
