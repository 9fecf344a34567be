#include "app/SongNotifier.h"

#include "app/CMainDlg.h"
#include "controls/Resources.h"
#include "service/SongRecord.h"
#include "settings/AppSettings.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QStringList>
#include <QVariantMap>

namespace {

const QString kService = QStringLiteral("org.freedesktop.Notifications");
const QString kPath = QStringLiteral("/org/freedesktop/Notifications");
const QString kAppName = QStringLiteral("LantorFM");
const QString kDesktopEntry = QStringLiteral("lantorfm");
constexpr int kDefaultTimeout = -1; // as the service likes

} // namespace

SongNotifier::SongNotifier(CMainDlg& window_, QObject* parent)
    : QObject(parent), window(window_), bus(QDBusConnection::sessionBus()) {
    connect(&window, &CMainDlg::songStarted, this, &SongNotifier::OnSongStarted);
    connect(&window, &CMainDlg::coverArrived, this, &SongNotifier::OnCoverArrived);
}

bool SongNotifier::Wanted() const {
    return bus.isConnected() && !window.isActiveWindow();
}

void SongNotifier::OnSongStarted() {
    shown = {};
    SongRecord song;
    if (!Wanted() || !window.PlayingRecord(song) || !AppSettings().LoadNotify())
        return;
    shown.sid = song.sid;
    shown.summary = Resources::AnsiToQString(song.title);
    shown.body = Resources::AnsiToQString(song.artist);
    if (!song.albumtitle.empty())
        shown.body += QStringLiteral(" — ") + Resources::AnsiToQString(song.albumtitle);
    shown.image = window.PlayingCoverUrl();
    Send();
}

void SongNotifier::OnCoverArrived() {
    SongRecord song;
    if (shown.sid.empty() || !shown.image.isEmpty() || !window.PlayingRecord(song) ||
        song.sid != shown.sid || !Wanted())
        return;
    shown.image = window.PlayingCoverUrl();
    if (!shown.image.isEmpty())
        Send();
}

void SongNotifier::Send() {
    if (inFlight) {
        // Its reply brings the id this one must replace.
        resend = true;
        return;
    }
    QVariantMap hints{{QStringLiteral("desktop-entry"), kDesktopEntry}};
    if (!shown.image.isEmpty())
        hints.insert(QStringLiteral("image-path"), shown.image);
    QDBusMessage call =
        QDBusMessage::createMethodCall(kService, kPath, kService, QStringLiteral("Notify"));
    call << kAppName << replacesId << kDesktopEntry << shown.summary << shown.body << QStringList()
         << hints << kDefaultTimeout;
    inFlight = true;
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* w) {
        w->deleteLater();
        QDBusPendingReply<uint32_t> reply = *w;
        inFlight = false;
        if (reply.isValid())
            replacesId = reply.value();
        else
            resend = false; // no service: nothing to update either
        if (resend) {
            resend = false;
            if (!shown.sid.empty())
                Send();
        }
    });
}
