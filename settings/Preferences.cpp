#include "settings/Preferences.h"

#include "session/SessionSettings.h"

Preferences::Preferences() {
    for (int key = 0; key < kKeyCount; ++key)
        values_[key] = kKeys[key].byDefault;
}

Preferences Preferences::Load(SessionSettings& stored) {
    Preferences loaded;
    for (int key = 0; key < kKeyCount; ++key)
        loaded.values_[key] = stored.LoadSwitch(kKeys[key].name, kKeys[key].byDefault);
    return loaded;
}

bool Preferences::Save(SessionSettings& stored, Key key, bool on) {
    return stored.SaveSwitch(kKeys[key].name, on);
}
