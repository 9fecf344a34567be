#include "settings/Preferences.h"

#include "settings/AppSettings.h"

Preferences::Preferences() {
    for (int key = 0; key < kKeyCount; ++key)
        values_[key] = kKeys[key].byDefault;
}

Preferences Preferences::Load() {
    AppSettings settings;
    Preferences loaded;
    for (int key = 0; key < kKeyCount; ++key)
        loaded.values_[key] = settings.LoadSwitch(kKeys[key].name, kKeys[key].byDefault);
    return loaded;
}

bool Preferences::Save(Key key, bool on) {
    return AppSettings().SaveSwitch(kKeys[key].name, on);
}
