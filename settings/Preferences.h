#pragma once
#include <array>

class SessionSettings;

// The listener's switches from the preferences dialog, each a key of config.ini [AppSet] holding
// "on" or "off"; a missing key or any other value reads as the key's default.
class Preferences {
public:
    enum Key {
        kNotify,      // a desktop notification for each song
        kTrayIcon,    // an icon in the panel's tray
        kCloseToTray, // the close box hides the window into the tray
        kStartHidden, // start in the tray, the window hidden
        kPauseOnLock, // pause while the screen is locked, resume on unlock
        kKeepAwake,   // keep the computer from sleeping while playing
        kKeyCount
    };
    struct KeyInfo {
        const char* name;
        bool byDefault;
    };
    static constexpr std::array<KeyInfo, kKeyCount> kKeys{{
        {"notify", true},
        {"trayicon", true},
        {"closetotray", false},
        {"starthidden", false},
        {"lockpause", false},
        {"keepawake", false},
    }};

    Preferences();
    // What config.ini holds now.
    static Preferences Load(SessionSettings& stored);
    // Writes one switch; false when config.ini is missing or cannot be written.
    static bool Save(SessionSettings& stored, Key key, bool on);

    bool Get(Key key) const { return values_[key]; }
    void Set(Key key, bool on) { values_[key] = on; }
    bool operator==(const Preferences&) const = default;

private:
    std::array<bool, kKeyCount> values_;
};
