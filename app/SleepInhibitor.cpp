#include "app/SleepInhibitor.h"

#include "platform/Log.h"

#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QVariantMap>

namespace {

const QString kPortalService = QStringLiteral("org.freedesktop.portal.Desktop");
const QString kPortalPath = QStringLiteral("/org/freedesktop/portal/desktop");
constexpr uint kPortalSuspend = 4;
constexpr uint kPortalIdle = 8;

QString Reason() {
    return SleepInhibitor::tr("正在播放音乐");
}

} // namespace

SleepInhibitor::SleepInhibitor(const QDBusConnection& session_, const QDBusConnection& system_,
                               QObject* parent)
    : QObject(parent), session(session_), system(system_) {}

SleepInhibitor::~SleepInhibitor() {
    wanted = false;
    Release();
}

void SleepInhibitor::SetWanted(bool wanted_) {
    wanted = wanted_;
    if (asking)
        return; // the answer sees what is wanted then
    if (wanted && holder == Holder::kNone)
        Ask();
    else if (!wanted)
        Release();
}

void SleepInhibitor::Ask() {
    if (!portalFails && session.isConnected())
        AskPortal();
    else
        AskLogind();
}

void SleepInhibitor::AskPortal() {
    QDBusMessage call = QDBusMessage::createMethodCall(
        kPortalService, kPortalPath, QStringLiteral("org.freedesktop.portal.Inhibit"),
        QStringLiteral("Inhibit"));
    call << QString() << (kPortalSuspend | kPortalIdle)
         << QVariantMap{{QStringLiteral("reason"), Reason()}};
    asking = true;
    auto* watcher = new QDBusPendingCallWatcher(session.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* w) {
        w->deleteLater();
        QDBusPendingReply<QDBusObjectPath> reply = *w;
        if (reply.isValid())
            return OnPortalAnswer(reply.value().path());
        Log(Log::kDesktop) << "the portal keeps no inhibitor ("
                           << reply.error().name().toStdString() << "), asking logind";
        portalFails = true;
        asking = false;
        if (wanted)
            AskLogind();
    });
}

void SleepInhibitor::AskLogind() {
    if (!system.isConnected()) {
        asking = false;
        Log(Log::kDesktop) << "no system bus: nothing keeps the computer awake while playing";
        return;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.login1"), QStringLiteral("/org/freedesktop/login1"),
        QStringLiteral("org.freedesktop.login1.Manager"), QStringLiteral("Inhibit"));
    call << QStringLiteral("sleep:idle") << QStringLiteral("LantorFM") << Reason()
         << QStringLiteral("block");
    asking = true;
    auto* watcher = new QDBusPendingCallWatcher(system.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* w) {
        w->deleteLater();
        QDBusPendingReply<QDBusUnixFileDescriptor> reply = *w;
        if (reply.isValid())
            return OnLogindAnswer(reply.value());
        asking = false;
        Log(Log::kDesktop) << "logind keeps no inhibitor either ("
                           << reply.error().name().toStdString()
                           << "): nothing keeps the computer awake while playing";
    });
}

void SleepInhibitor::OnPortalAnswer(const QString& handle) {
    asking = false;
    portalHandle = handle;
    SetHolder(Holder::kPortal);
    if (!wanted)
        Release();
}

void SleepInhibitor::OnLogindAnswer(const QDBusUnixFileDescriptor& lock) {
    asking = false;
    if (!lock.isValid()) {
        Log(Log::kDesktop) << "logind answered without an inhibitor";
        return;
    }
    logindLock = lock;
    SetHolder(Holder::kLogind);
    if (!wanted)
        Release();
}

void SleepInhibitor::Release() {
    if (holder == Holder::kPortal) {
        session.asyncCall(QDBusMessage::createMethodCall(
            kPortalService, portalHandle, QStringLiteral("org.freedesktop.portal.Request"),
            QStringLiteral("Close")));
        portalHandle.clear();
    }
    logindLock = QDBusUnixFileDescriptor(); // closes our copy, which ends logind's lock
    SetHolder(Holder::kNone);
}

void SleepInhibitor::SetHolder(Holder now) {
    if (holder == now)
        return;
    holder = now;
    emit heldChanged(holder);
}
