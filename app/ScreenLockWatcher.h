#pragma once
#include <QDBusConnection>
#include <QDBusObjectPath>
#include <QObject>
#include <QString>

// Tells when the screen locks and unlocks. It listens to the screen saver's ActiveChanged on the
// session bus (org.freedesktop.ScreenSaver, as KDE, Xfce and others send it, and
// org.gnome.ScreenSaver) and to logind's Lock and Unlock of this login session on the system
// bus. Several of them may tell of the same lock, and logind's Lock may never see an Unlock, so
// the last word counts: lockChanged comes once per change, whoever told it.
class ScreenLockWatcher : public QObject {
    Q_OBJECT
public:
    static constexpr const char* kLogindService = "org.freedesktop.login1";

    ScreenLockWatcher(const QDBusConnection& session, const QDBusConnection& system,
                      QObject* parent = nullptr);

    bool Locked() const { return locked; }
    // logind's object of this login session, once it has said which; empty before or without.
    const QString& SessionPath() const { return sessionPath; }

signals:
    void lockChanged(bool locked);

private slots:
    void OnActiveChanged(bool active);
    void OnSessionLock();
    void OnSessionUnlock();

private:
    void FindSession();
    void Set(bool locked);

    QDBusConnection session;
    QDBusConnection system;
    QString sessionPath;
    bool locked = false;
};
