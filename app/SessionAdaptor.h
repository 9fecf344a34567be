#pragma once
#include "session/RadioSession.h"

#include <QObject>
#include <QString>

// The radio session for Qt: its events as signals on the thread that owns this object (an event
// from another thread is queued there), its snapshot and commands for the desktop's surfaces
// (MPRIS, notifications, the tray, scrobbling), which never reach into the window.
class SessionAdaptor : public QObject {
    Q_OBJECT
public:
    explicit SessionAdaptor(RadioSession& session, QObject* parent = nullptr);
    ~SessionAdaptor() override;
    SessionAdaptor(const SessionAdaptor&) = delete;
    SessionAdaptor& operator=(const SessionAdaptor&) = delete;

    RadioSession& Session() const { return session; }
    RadioSession::Snapshot Snapshot() const { return session.Snap(); }
    // file:// URL of the playing song's cover in the cache; empty until it is there.
    QString PlayingCoverUrl() const;
    // The status line in the listener's language.
    QString StatusText() const;
    static QString StatusText(RadioSession::Status status, const std::string& notice = {});

signals:
    void statusChanged();
    void signedIn();        // the service accepted the account
    void songStarted();     // the snapshot describes the new song
    void coverArrived();    // the playing song's cover is in the cache
    void lengthChanged();   // the playing song's length became known or exact
    void songLiked();       // the listener liked the playing song
    void playbackChanged(); // the snapshot's playback may have changed
    void volumeChanged(int volume);
    void seeked(double seconds);

private:
    void Forward(const SessionEvent& event);

    RadioSession& session;
    int subscription = 0;
};
