#pragma once
#include <QDBusAbstractAdaptor>
#include <QStringList>

class CMainDlg;

// The media player's own face on the session bus: who it is, and raising or quitting it.
class MprisRoot : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2")
    Q_PROPERTY(QString Identity READ Identity)
    Q_PROPERTY(QString DesktopEntry READ DesktopEntry)
    Q_PROPERTY(bool CanRaise READ CanRaise)
    Q_PROPERTY(bool CanQuit READ CanQuit)
    Q_PROPERTY(bool HasTrackList READ HasTrackList)
    Q_PROPERTY(QStringList SupportedUriSchemes READ SupportedUriSchemes)
    Q_PROPERTY(QStringList SupportedMimeTypes READ SupportedMimeTypes)
public:
    MprisRoot(QObject* object, CMainDlg& window);

    QString Identity() const { return QStringLiteral("LantorFM"); }
    QString DesktopEntry() const { return QStringLiteral("lantorfm"); }
    bool CanRaise() const { return true; }
    bool CanQuit() const { return true; }
    bool HasTrackList() const { return false; }
    // The radio plays only what the service chooses: nothing can be opened from outside.
    QStringList SupportedUriSchemes() const { return {}; }
    QStringList SupportedMimeTypes() const { return {}; }

public slots:
    void Raise();
    void Quit();

private:
    CMainDlg& window;
};
