#pragma once
#include <QDBusConnection>
#include <QObject>
#include <QString>
#include <cstdint>
#include <string>

class DesktopControl;
class QWidget;
class SessionAdaptor;

// A desktop notification for each song the session starts while the main window is not the
// active window: the title, "artist — album", and the cover once it is in the cache (the program's
// icon before; the notification is updated when the cover arrives). Each one replaces the
// previous one. The calls are asynchronous, so a slow or missing notification service never
// holds up the window. config.ini [AppSet] notify=off turns them off. Where the service shows
// actions, each carries 下一首, 喜欢 and 不喜欢, acting through the player's commands; an action
// from the notification of an earlier song does nothing.
class SongNotifier : public QObject {
    Q_OBJECT
public:
    SongNotifier(SessionAdaptor& session, const QWidget& window, QObject* parent = nullptr);
    // Where the actions go; none: no actions.
    void SetControl(DesktopControl* control_) { control = control_; }

    // The longest summary or body sent, in characters: a title of any length stays a line.
    static constexpr qsizetype kMaxChars = 200;
    // text as the service shows it literally: cut to kMaxChars and, where it reads the body as
    // markup, with &, < and > escaped.
    static QString Literal(const QString& text, bool markup);

private slots:
    void OnActionInvoked(uint id, const QString& key);

private:
    struct Shown {
        std::string sid; // empty: nothing shown for the playing song
        QString summary;
        QString body;
        QString image; // file:// URL of the cover, or empty
    };

    void OnSongStarted();
    void OnCoverArrived();
    bool Wanted() const;
    void Send();

    SessionAdaptor& session;
    const QWidget& window;
    QDBusConnection bus;
    Shown shown;
    DesktopControl* control = nullptr;
    bool serviceActions = false; // the service lists "actions" among its capabilities
    bool serviceMarkup = false;  // and "body-markup"
    bool serviceKnown = false;   // its capabilities have come: until then nothing is sent
    uint32_t serial = 0;         // of the song notified last; action keys end with it
    uint32_t replacesId = 0;     // the service's id of our last notification
    bool inFlight = false;       // a Notify call awaits its reply
    bool resend = false;         // something changed while it did
};
