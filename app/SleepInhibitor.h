#pragma once
#include <QDBusConnection>
#include <QDBusUnixFileDescriptor>
#include <QObject>
#include <QString>

// Keeps the computer from sleeping and the screen from blanking while it is wanted. It asks the
// desktop portal (org.freedesktop.portal.Inhibit) first, which works inside a sandbox too, and
// logind's Inhibit("sleep:idle") on the system bus when no portal answers. The calls are
// asynchronous; a release wished while a request is on its way happens when its answer comes.
// The inhibitor ends at the latest with the object (or the process).
class SleepInhibitor : public QObject {
    Q_OBJECT
public:
    enum class Holder { kNone, kPortal, kLogind };

    SleepInhibitor(const QDBusConnection& session, const QDBusConnection& system,
                   QObject* parent = nullptr);
    ~SleepInhibitor() override;

    void SetWanted(bool wanted);
    bool Wanted() const { return wanted; }
    Holder Held() const { return holder; }

signals:
    void heldChanged(Holder holder);

private:
    void Ask();
    void AskPortal();
    void AskLogind();
    void OnPortalAnswer(const QString& handle);
    void OnLogindAnswer(const QDBusUnixFileDescriptor& lock);
    void Release();
    void SetHolder(Holder now);

    QDBusConnection session;
    QDBusConnection system;
    bool wanted = false;
    bool asking = false;      // a request awaits its answer
    bool portalFails = false; // the portal said no once: logind from then on
    Holder holder = Holder::kNone;
    QString portalHandle;               // while the portal holds it
    QDBusUnixFileDescriptor logindLock; // while logind holds it: closing it releases
};
