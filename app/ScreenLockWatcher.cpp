#include "app/ScreenLockWatcher.h"

#include "platform/Log.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>

namespace {
const QString kSessionInterface = QStringLiteral("org.freedesktop.login1.Session");
} // namespace

ScreenLockWatcher::ScreenLockWatcher(const QDBusConnection& session_,
                                     const QDBusConnection& system_, QObject* parent)
    : QObject(parent), session(session_), system(system_) {
    if (session.isConnected()) {
        // Any sender and any path: the desktops differ in both.
        for (const char* interface : {"org.freedesktop.ScreenSaver", "org.gnome.ScreenSaver"})
            session.connect({}, {}, QString::fromLatin1(interface), QStringLiteral("ActiveChanged"),
                            this, SLOT(OnActiveChanged(bool)));
    } else {
        Log(Log::kDesktop) << "no session bus: the screen saver's lock is not seen";
    }
    FindSession();
}

void ScreenLockWatcher::FindSession() {
    if (!system.isConnected()) {
        Log(Log::kDesktop) << "no system bus: logind's lock of the session is not seen";
        return;
    }
    // "auto" is the session this process runs in, or else the user's graphical one.
    QDBusMessage call = QDBusMessage::createMethodCall(
        QString::fromLatin1(kLogindService), QStringLiteral("/org/freedesktop/login1"),
        QStringLiteral("org.freedesktop.login1.Manager"), QStringLiteral("GetSession"));
    call << QStringLiteral("auto");
    auto* watcher = new QDBusPendingCallWatcher(system.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* w) {
        w->deleteLater();
        QDBusPendingReply<QDBusObjectPath> reply = *w;
        if (!reply.isValid()) {
            Log(Log::kDesktop) << "logind has no session for this process: "
                               << reply.error().message().toStdString();
            return;
        }
        sessionPath = reply.value().path();
        const QString service = QString::fromLatin1(kLogindService);
        system.connect(service, sessionPath, kSessionInterface, QStringLiteral("Lock"), this,
                       SLOT(OnSessionLock()));
        system.connect(service, sessionPath, kSessionInterface, QStringLiteral("Unlock"), this,
                       SLOT(OnSessionUnlock()));
    });
}

void ScreenLockWatcher::OnActiveChanged(bool active) {
    Set(active);
}

void ScreenLockWatcher::OnSessionLock() {
    Set(true);
}

void ScreenLockWatcher::OnSessionUnlock() {
    Set(false);
}

void ScreenLockWatcher::Set(bool locked_) {
    if (locked == locked_)
        return;
    locked = locked_;
    emit lockChanged(locked);
}
