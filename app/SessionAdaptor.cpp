#include "app/SessionAdaptor.h"

#include "service/CachePath.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QThread>
#include <QUrl>

namespace {

// By RadioSession::Status; the notice is the session's own text.
const char* const kStatusTexts[] = {
    QT_TRANSLATE_NOOP("CMainDlg", "正在登录..."),
    QT_TRANSLATE_NOOP("CMainDlg", "登录失败!"),
    QT_TRANSLATE_NOOP("CMainDlg", "准备列表..."),
    QT_TRANSLATE_NOOP("CMainDlg", "正在缓冲"),
    QT_TRANSLATE_NOOP("CMainDlg", "缓冲中..."),
    QT_TRANSLATE_NOOP("CMainDlg", "正在播放"),
    QT_TRANSLATE_NOOP("CMainDlg", "已暂停"),
    QT_TRANSLATE_NOOP("CMainDlg", "错误: 音频解码器初始化失败!"),
};

} // namespace

SessionAdaptor::SessionAdaptor(RadioSession& session_, QObject* parent)
    : QObject(parent), session(session_) {
    subscription = session.Subscribe([this](const SessionEvent& event) {
        if (QThread::currentThread() == thread())
            Forward(event);
        else
            QMetaObject::invokeMethod(
                this, [this, event] { Forward(event); }, Qt::QueuedConnection);
    });
}

SessionAdaptor::~SessionAdaptor() {
    session.Unsubscribe(subscription);
}

void SessionAdaptor::Forward(const SessionEvent& event) {
    using Kind = SessionEvent::Kind;
    switch (event.kind) {
    case Kind::kStatus:
        return emit statusChanged();
    case Kind::kSignedIn:
        return emit signedIn();
    case Kind::kSongStarted:
        return emit songStarted();
    case Kind::kCoverArrived:
        return emit coverArrived();
    case Kind::kLengthChanged:
        return emit lengthChanged();
    case Kind::kLiked:
        return emit songLiked();
    case Kind::kPlaybackChanged:
        return emit playbackChanged();
    case Kind::kVolumeChanged:
        return emit volumeChanged(session.Snap().volume);
    case Kind::kSeeked:
        return emit seeked(event.seconds);
    case Kind::kSignInFailed:
    case Kind::kSongsAdded:
    case Kind::kLyrics:
    case Kind::kDisliked:
    case Kind::kChannelChanged:
        return; // the window's own business
    }
}

QString SessionAdaptor::PlayingCoverUrl() const {
    SongRecord song;
    if (!session.PlayingRecord(song))
        return {};
    const auto path = session.Work().Cache(kCacheAlbum, song.sid);
    if (!path)
        return {};
    const QFileInfo file(QFile::decodeName(path->c_str()));
    return file.isFile() ? QUrl::fromLocalFile(file.absoluteFilePath()).toString() : QString();
}

QString SessionAdaptor::StatusText() const {
    const RadioSession::Snapshot now = session.Snap();
    return StatusText(now.status, now.notice);
}

QString SessionAdaptor::StatusText(RadioSession::Status status, const std::string& notice) {
    const auto index = static_cast<std::size_t>(status);
    return index < std::size(kStatusTexts)
               ? QCoreApplication::translate("CMainDlg", kStatusTexts[index])
               : QString::fromStdString(notice);
}
