#include "app/MprisService.h"

#include "app/CMainDlg.h"
#include "app/MprisPlayer.h"
#include "app/MprisRoot.h"

#include <cstdio>

MprisService::MprisService(CMainDlg& window, QObject* parent)
    : QObject(parent), bus(QDBusConnection::sessionBus()) {
    if (!bus.isConnected()) {
        std::fprintf(stderr, "LantorFM: no D-Bus session bus, so no desktop control (MPRIS)\n");
        return;
    }
    // The adaptors live on their own object, so that a failed registration leaves nothing
    // behind that would follow the window.
    auto* exported = new QObject(this);
    new MprisRoot(exported, window);
    new MprisPlayer(exported, window.Adaptor(), bus);
    const QString path = QString::fromLatin1(MprisPlayer::kObjectPath);
    if (!bus.registerObject(path, exported, QDBusConnection::ExportAdaptors)) {
        delete exported;
        std::fprintf(stderr, "LantorFM: %s is in use on the session bus, so no desktop control\n",
                     MprisPlayer::kObjectPath);
        return;
    }
    if (!bus.registerService(QString::fromLatin1(kBusName))) {
        bus.unregisterObject(path);
        delete exported;
        std::fprintf(stderr, "LantorFM: %s is taken on the session bus, so no desktop control\n",
                     kBusName);
        return;
    }
    registered = true;
}

MprisService::~MprisService() {
    if (!registered)
        return;
    bus.unregisterService(QString::fromLatin1(kBusName));
    bus.unregisterObject(QString::fromLatin1(MprisPlayer::kObjectPath));
}
