#include "app/SongNotifier.h"

#include "app/DesktopControl.h"
#include "app/SessionAdaptor.h"
#include "controls/PlainText.h"
#include "controls/Resources.h"
#include "service/SongRecord.h"
#include "session/SessionSettings.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QStringList>
#include <QVariantMap>
#include <QWidget>
#include <utility>

namespace {

const QString kService = QStringLiteral("org.freedesktop.Notifications");
const QString kPath = QStringLiteral("/org/freedesktop/Notifications");
const QString kAppName = QStringLiteral("LantorFM");
const QString kDesktopEntry = QStringLiteral("lantorfm");
constexpr int kDefaultTimeout = -1; // as the service likes

} // namespace

SongNotifier::SongNotifier(SessionAdaptor& session_, const QWidget& window_, QObject* parent)
    : QObject(parent), session(session_), window(window_), bus(QDBusConnection::sessionBus()) {
    connect(&session, &SessionAdaptor::songStarted, this, &SongNotifier::OnSongStarted);
    connect(&session, &SessionAdaptor::coverArrived, this, &SongNotifier::OnCoverArrived);
    bus.connect(kService, kPath, kService, QStringLiteral("ActionInvoked"), this,
                SLOT(OnActionInvoked(uint, QString)));
    auto* capabilities = new QDBusPendingCallWatcher(
        bus.asyncCall(QDBusMessage::createMethodCall(kService, kPath, kService,
                                                     QStringLiteral("GetCapabilities"))),
        this);
    connect(capabilities, &QDBusPendingCallWatcher::finished, this,
            [this](QDBusPendingCallWatcher* w) {
                w->deleteLater();
                QDBusPendingReply<QStringList> reply = *w;
                const QStringList listed = reply.isValid() ? reply.value() : QStringList();
                serviceActions = listed.contains(QStringLiteral("actions"));
                serviceMarkup = listed.contains(QStringLiteral("body-markup"));
                serviceKnown = true;
                if (std::exchange(resend, false) && !inFlight && !shown.sid.empty())
                    Send();
            });
}

void SongNotifier::OnActionInvoked(uint id, const QString& key) {
    // Another program's notification, or ours for a song that has gone.
    if (!control || id != replacesId || shown.sid.empty() ||
        key.section(u':', 1) != QString::number(serial))
        return;
    const QString action = key.section(u':', 0, 0);
    if (action == QLatin1String("next"))
        control->Next();
    else if (action == QLatin1String("like"))
        control->Like();
    else if (action == QLatin1String("dislike"))
        control->Dislike();
}

QString SongNotifier::Literal(const QString& text, bool markup) {
    const QString cut = PlainText::Cut(text, kMaxChars);
    if (!markup)
        return cut;
    QString escaped = cut;
    return escaped.replace(u'&', QStringLiteral("&amp;"))
        .replace(u'<', QStringLiteral("&lt;"))
        .replace(u'>', QStringLiteral("&gt;"));
}

bool SongNotifier::Wanted() const {
    return bus.isConnected() && !window.isActiveWindow();
}

void SongNotifier::OnSongStarted() {
    shown = {};
    SongRecord song;
    if (!Wanted() || !session.Session().PlayingRecord(song) ||
        !session.Session().Settings().LoadNotify())
        return;
    shown.sid = song.sid;
    ++serial;
    shown.summary = Resources::AnsiToQString(song.title);
    shown.body = Resources::AnsiToQString(song.artist);
    if (!song.albumtitle.empty())
        shown.body += QStringLiteral(" — ") + Resources::AnsiToQString(song.albumtitle);
    shown.image = session.PlayingCoverUrl();
    Send();
}

void SongNotifier::OnCoverArrived() {
    SongRecord song;
    if (shown.sid.empty() || !shown.image.isEmpty() || !session.Session().PlayingRecord(song) ||
        song.sid != shown.sid || !Wanted())
        return;
    shown.image = session.PlayingCoverUrl();
    if (!shown.image.isEmpty())
        Send();
}

void SongNotifier::Send() {
    // A call in flight: its reply brings the id this one must replace. Capabilities unknown:
    // whether the body is read as markup is not yet known.
    if (inFlight || !serviceKnown) {
        resend = true;
        return;
    }
    QVariantMap hints{{QStringLiteral("desktop-entry"), kDesktopEntry}};
    if (!shown.image.isEmpty())
        hints.insert(QStringLiteral("image-path"), shown.image);
    QDBusMessage call =
        QDBusMessage::createMethodCall(kService, kPath, kService, QStringLiteral("Notify"));
    QStringList actions;
    if (control && serviceActions) {
        const QString tail = u':' + QString::number(serial);
        actions = QStringList{QStringLiteral("next") + tail,    tr("下一首"),
                              QStringLiteral("like") + tail,    tr("喜欢"),
                              QStringLiteral("dislike") + tail, tr("不喜欢")};
    }
    call << kAppName << replacesId << kDesktopEntry << Literal(shown.summary, false)
         << Literal(shown.body, serviceMarkup) << actions << hints << kDefaultTimeout;
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
