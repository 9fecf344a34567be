#pragma once
#include <QDBusConnection>
#include <QObject>

class CMainDlg;

// Puts the main window on the session bus as an MPRIS media player, for media keys, the
// desktop's sound menu and playerctl. Without a session bus, or when another program holds the
// name, the window runs as before and stderr says so once.
class MprisService : public QObject {
    Q_OBJECT
public:
    static constexpr const char* kBusName = "org.mpris.MediaPlayer2.lantorfm";

    explicit MprisService(CMainDlg& window, QObject* parent = nullptr);
    ~MprisService() override;

    bool IsRegistered() const { return registered; }

private:
    QDBusConnection bus;
    bool registered = false;
};
