#pragma once
#include <QDBusConnection>
#include <QObject>
#include <QString>
#include <cstdint>
#include <string>

class CMainDlg;

// A desktop notification for each song that starts while the main window is not the active
// window: the title, "artist — album", and the cover once it is in the cache (the program's
// icon before; the notification is updated when the cover arrives). Each one replaces the
// previous one. The calls are asynchronous, so a slow or missing notification service never
// holds up the window. config.ini [AppSet] notify=off turns them off.
class SongNotifier : public QObject {
    Q_OBJECT
public:
    explicit SongNotifier(CMainDlg& window, QObject* parent = nullptr);

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

    CMainDlg& window;
    QDBusConnection bus;
    Shown shown;
    uint32_t replacesId = 0; // the service's id of our last notification
    bool inFlight = false;   // a Notify call awaits its reply
    bool resend = false;     // something changed while it did
};
