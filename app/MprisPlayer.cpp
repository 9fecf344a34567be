#include "app/MprisPlayer.h"

#include "app/SessionAdaptor.h"
#include "controls/Resources.h"

#include <QDBusMessage>
#include <cmath>

namespace {

constexpr double kMicroseconds = 1e6;

using Playback = RadioSession::Playback;

qlonglong ToMicroseconds(double seconds) {
    return static_cast<qlonglong>(std::llround(seconds * kMicroseconds));
}

// A listener shows metadata on one line; a line feed or an escape from the service must not
// become layout or a terminal command in it.
QString Clean(const std::string& gbk) {
    QString text = Resources::AnsiToQString(gbk);
    text.removeIf([](QChar c) { return c.category() == QChar::Other_Control; });
    return text;
}

} // namespace

MprisPlayer::MprisPlayer(QObject* object, SessionAdaptor& session_, const QDBusConnection& bus_)
    : QDBusAbstractAdaptor(object), session(session_), bus(bus_) {
    for (auto signal : {&SessionAdaptor::songStarted, &SessionAdaptor::coverArrived,
                        &SessionAdaptor::lengthChanged, &SessionAdaptor::playbackChanged,
                        &SessionAdaptor::songLiked})
        connect(&session, signal, this, &MprisPlayer::Refresh);
    connect(&session, &SessionAdaptor::volumeChanged, this, &MprisPlayer::Refresh);
    connect(&session, &SessionAdaptor::seeked, this,
            [this](double seconds) { emit Seeked(ToMicroseconds(seconds)); });
    sent = ChangingProperties();
}

QDBusObjectPath MprisPlayer::TrackId(int index) {
    return QDBusObjectPath(QStringLiteral("/org/lantorfm/track/%1").arg(index));
}

bool MprisPlayer::Stopped() const {
    return session.Session().PlaybackNow() == Playback::kStopped;
}

QString MprisPlayer::PlaybackStatus() const {
    switch (session.Session().PlaybackNow()) {
    case Playback::kPlaying:
        return QStringLiteral("Playing");
    case Playback::kPaused:
        return QStringLiteral("Paused");
    case Playback::kStopped:
        break;
    }
    return QStringLiteral("Stopped");
}

QVariantMap MprisPlayer::Metadata() const {
    const RadioSession::Snapshot now = session.Snapshot();
    if (!now.song)
        return {};
    const SongRecord& song = *now.song;
    QVariantMap data;
    data[QStringLiteral("mpris:trackid")] = QVariant::fromValue(TrackId(song.index));
    data[QStringLiteral("xesam:title")] = Clean(song.title);
    data[QStringLiteral("xesam:artist")] = QStringList{Clean(song.artist)};
    data[QStringLiteral("xesam:album")] = Clean(song.albumtitle);
    data[QStringLiteral("xesam:url")] = Clean(song.url);
    const bool liked = song.like != "0" || session.Session().IsLiked(song.sid);
    data[QStringLiteral("xesam:userRating")] = liked ? 1.0 : 0.0;
    if (now.length > 0.0)
        data[QStringLiteral("mpris:length")] = ToMicroseconds(now.length);
    if (QString cover = session.PlayingCoverUrl(); !cover.isEmpty())
        data[QStringLiteral("mpris:artUrl")] = cover;
    return data;
}

double MprisPlayer::Volume() const {
    return session.Snapshot().volume / 100.0;
}

void MprisPlayer::SetVolume(double volume) {
    if (std::isnan(volume))
        return;
    session.Session().SetVolume(static_cast<int>(std::lround(std::clamp(volume, 0.0, 1.0) * 100)));
}

qlonglong MprisPlayer::Position() const {
    return Stopped() ? 0 : ToMicroseconds(session.Snapshot().exactPosition);
}

bool MprisPlayer::CanGoNext() const {
    return !Stopped();
}

bool MprisPlayer::CanGoPrevious() const {
    const RadioSession::Snapshot now = session.Snapshot();
    return now.playback != Playback::kStopped && now.song && now.song->index > 0;
}

bool MprisPlayer::CanPlay() const {
    return !Stopped();
}

bool MprisPlayer::CanPause() const {
    return !Stopped();
}

bool MprisPlayer::CanSeek() const {
    return !Stopped() && session.Snapshot().length > 0.0;
}

void MprisPlayer::Next() {
    if (CanGoNext())
        session.Session().Next();
}

void MprisPlayer::Previous() {
    if (CanGoPrevious())
        session.Session().Previous();
}

void MprisPlayer::Pause() {
    if (session.Session().PlaybackNow() == Playback::kPlaying)
        session.Session().Pause();
}

void MprisPlayer::Play() {
    if (session.Session().PlaybackNow() == Playback::kPaused)
        session.Session().Play();
}

void MprisPlayer::PlayPause() {
    if (session.Session().PlaybackNow() == Playback::kPlaying)
        session.Session().Pause();
    else
        Play();
}

void MprisPlayer::Stop() {
    Pause();
}

void MprisPlayer::Seek(qlonglong offset) {
    if (CanSeek())
        session.Session().Seek(session.Snapshot().exactPosition + offset / kMicroseconds);
}

void MprisPlayer::SetPosition(const QDBusObjectPath& trackId, qlonglong position) {
    const RadioSession::Snapshot now = session.Snapshot();
    if (!CanSeek() || !now.song || trackId != TrackId(now.song->index))
        return; // meant for a song that is no longer playing
    // Outside the song the call is ignored, not clamped.
    if (position < 0 || position > ToMicroseconds(now.length))
        return;
    session.Session().Seek(position / kMicroseconds);
}

void MprisPlayer::OpenUri(const QString&, const QDBusMessage& message) {
    message.setDelayedReply(true);
    bus.send(message.createErrorReply(QDBusError::NotSupported,
                                      QStringLiteral("LantorFM plays what its channels choose")));
}

QVariantMap MprisPlayer::ChangingProperties() const {
    return {
        {QStringLiteral("PlaybackStatus"), PlaybackStatus()},
        {QStringLiteral("Metadata"), Metadata()},
        {QStringLiteral("Volume"), Volume()},
        {QStringLiteral("CanGoNext"), CanGoNext()},
        {QStringLiteral("CanGoPrevious"), CanGoPrevious()},
        {QStringLiteral("CanPlay"), CanPlay()},
        {QStringLiteral("CanPause"), CanPause()},
        {QStringLiteral("CanSeek"), CanSeek()},
    };
}

void MprisPlayer::Refresh() {
    const QVariantMap now = ChangingProperties();
    QVariantMap changed;
    for (auto it = now.begin(); it != now.end(); ++it)
        if (sent.value(it.key()) != it.value())
            changed.insert(it.key(), it.value());
    if (changed.isEmpty())
        return;
    sent = now;
    QDBusMessage signal = QDBusMessage::createSignal(
        QString::fromLatin1(kObjectPath), QStringLiteral("org.freedesktop.DBus.Properties"),
        QStringLiteral("PropertiesChanged"));
    signal << QStringLiteral("org.mpris.MediaPlayer2.Player") << changed << QStringList();
    bus.send(signal);
}
