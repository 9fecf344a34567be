#include "app/MprisPlayer.h"

#include "app/CMainDlg.h"
#include "controls/CCustomSliderCtrl.h"
#include "controls/Resources.h"
#include "playback/CAudioPlayer.h"
#include "service/SongRecord.h"

#include <QDBusMessage>
#include <cmath>

namespace {

constexpr double kMicroseconds = 1e6;

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

MprisPlayer::MprisPlayer(QObject* object, CMainDlg& window_, const QDBusConnection& bus_)
    : QDBusAbstractAdaptor(object), window(window_), bus(bus_) {
    for (auto signal : {&CMainDlg::songStarted, &CMainDlg::coverArrived, &CMainDlg::lengthChanged,
                        &CMainDlg::playbackChanged})
        connect(&window, signal, this, &MprisPlayer::Refresh);
    connect(&window, &CMainDlg::volumeChanged, this, &MprisPlayer::Refresh);
    connect(&window, &CMainDlg::songLiked, this, &MprisPlayer::OnSongLiked);
    connect(&window, &CMainDlg::seeked, this,
            [this](double seconds) { emit Seeked(ToMicroseconds(seconds)); });
    sent = ChangingProperties();
}

QDBusObjectPath MprisPlayer::TrackId(int index) {
    return QDBusObjectPath(QStringLiteral("/org/lantorfm/track/%1").arg(index));
}

bool MprisPlayer::Stopped() const {
    return window.PlaybackState() == CMainDlg::Playback::kStopped;
}

QString MprisPlayer::PlaybackStatus() const {
    switch (window.PlaybackState()) {
    case CMainDlg::Playback::kPlaying:
        return QStringLiteral("Playing");
    case CMainDlg::Playback::kPaused:
        return QStringLiteral("Paused");
    case CMainDlg::Playback::kStopped:
        break;
    }
    return QStringLiteral("Stopped");
}

QVariantMap MprisPlayer::Metadata() const {
    SongRecord song;
    if (!window.PlayingRecord(song))
        return {};
    QVariantMap data;
    data[QStringLiteral("mpris:trackid")] = QVariant::fromValue(TrackId(song.index));
    data[QStringLiteral("xesam:title")] = Clean(song.title);
    data[QStringLiteral("xesam:artist")] = QStringList{Clean(song.artist)};
    data[QStringLiteral("xesam:album")] = Clean(song.albumtitle);
    data[QStringLiteral("xesam:url")] = Clean(song.url);
    const bool liked = song.like != "0" || likedSids.count(song.sid);
    data[QStringLiteral("xesam:userRating")] = liked ? 1.0 : 0.0;
    if (const CAudioPlayer* player = window.Player(); player && player->GetDuration() > 0.0f)
        data[QStringLiteral("mpris:length")] = ToMicroseconds(player->GetDuration());
    if (QString cover = window.PlayingCoverUrl(); !cover.isEmpty())
        data[QStringLiteral("mpris:artUrl")] = cover;
    return data;
}

double MprisPlayer::Volume() const {
    const CCustomSliderCtrl* slider = window.VolumeSlider();
    return slider ? slider->Pos() / 100.0 : 0.0;
}

void MprisPlayer::SetVolume(double volume) {
    if (std::isnan(volume))
        return;
    window.SetVolume(static_cast<int>(std::lround(std::clamp(volume, 0.0, 1.0) * 100)));
}

qlonglong MprisPlayer::Position() const {
    const CAudioPlayer* player = window.Player();
    return player && !Stopped() ? ToMicroseconds(player->GetExactPosition()) : 0;
}

bool MprisPlayer::CanGoNext() const {
    return !Stopped();
}

bool MprisPlayer::CanGoPrevious() const {
    SongRecord song;
    return !Stopped() && window.PlayingRecord(song) && song.index > 0;
}

bool MprisPlayer::CanPlay() const {
    return !Stopped();
}

bool MprisPlayer::CanPause() const {
    return !Stopped();
}

bool MprisPlayer::CanSeek() const {
    const CAudioPlayer* player = window.Player();
    return !Stopped() && player && player->GetDuration() > 0.0f;
}

void MprisPlayer::Next() {
    if (CanGoNext())
        window.OnNext();
}

void MprisPlayer::Previous() {
    if (CanGoPrevious())
        window.OnPrevious();
}

void MprisPlayer::Pause() {
    if (window.PlaybackState() == CMainDlg::Playback::kPlaying)
        window.OnPause();
}

void MprisPlayer::Play() {
    if (window.PlaybackState() == CMainDlg::Playback::kPaused)
        window.OnPlay();
}

void MprisPlayer::PlayPause() {
    if (window.PlaybackState() == CMainDlg::Playback::kPlaying)
        window.OnPause();
    else
        Play();
}

void MprisPlayer::Stop() {
    Pause();
}

void MprisPlayer::Seek(qlonglong offset) {
    if (CanSeek())
        window.SeekTo(window.Player()->GetExactPosition() + offset / kMicroseconds);
}

void MprisPlayer::SetPosition(const QDBusObjectPath& trackId, qlonglong position) {
    SongRecord song;
    if (!CanSeek() || !window.PlayingRecord(song) || trackId != TrackId(song.index))
        return; // meant for a song that is no longer playing
    // Outside the song the call is ignored, not clamped.
    if (position < 0 || position > ToMicroseconds(window.Player()->GetDuration()))
        return;
    window.SeekTo(position / kMicroseconds);
}

void MprisPlayer::OpenUri(const QString&, const QDBusMessage& message) {
    message.setDelayedReply(true);
    bus.send(message.createErrorReply(QDBusError::NotSupported,
                                      QStringLiteral("LantorFM plays what its channels choose")));
}

void MprisPlayer::OnSongLiked() {
    SongRecord song;
    if (window.PlayingRecord(song))
        likedSids.insert(song.sid);
    Refresh();
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
