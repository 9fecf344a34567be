#pragma once
#include <QDBusAbstractAdaptor>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QVariantMap>

class SessionAdaptor;

// The player on the session bus. Every method is a command of the radio session, as the
// window's buttons and sliders give. The session has no stopped state a listener can restart
// from, so Stop pauses. Changes of the properties go out as PropertiesChanged whenever the
// session reports one, and every seek as Seeked.
class MprisPlayer : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2.Player")
    Q_PROPERTY(QString PlaybackStatus READ PlaybackStatus)
    Q_PROPERTY(double Rate READ Rate WRITE SetRate)
    Q_PROPERTY(double MinimumRate READ Rate)
    Q_PROPERTY(double MaximumRate READ Rate)
    Q_PROPERTY(QVariantMap Metadata READ Metadata)
    Q_PROPERTY(double Volume READ Volume WRITE SetVolume)
    Q_PROPERTY(qlonglong Position READ Position)
    Q_PROPERTY(bool CanGoNext READ CanGoNext)
    Q_PROPERTY(bool CanGoPrevious READ CanGoPrevious)
    Q_PROPERTY(bool CanPlay READ CanPlay)
    Q_PROPERTY(bool CanPause READ CanPause)
    Q_PROPERTY(bool CanSeek READ CanSeek)
    Q_PROPERTY(bool CanControl READ CanControl)
public:
    static constexpr const char* kObjectPath = "/org/mpris/MediaPlayer2";

    MprisPlayer(QObject* object, SessionAdaptor& session, const QDBusConnection& bus);

    QString PlaybackStatus() const;
    double Rate() const { return 1.0; }
    void SetRate(double) {} // one speed only
    QVariantMap Metadata() const;
    double Volume() const;
    void SetVolume(double volume);
    qlonglong Position() const; // microseconds
    bool CanGoNext() const;
    bool CanGoPrevious() const;
    bool CanPlay() const;
    bool CanPause() const;
    bool CanSeek() const;
    bool CanControl() const { return true; }

    // The track id of the song at a list index: an object path, since the sid is the service's
    // text and need not make one.
    static QDBusObjectPath TrackId(int index);

public slots:
    void Next();
    void Previous();
    void Pause();
    void PlayPause();
    void Stop();
    void Play();
    void Seek(qlonglong offset);
    void SetPosition(const QDBusObjectPath& trackId, qlonglong position);
    // Refused: the radio plays what its channels choose.
    void OpenUri(const QString& uri, const QDBusMessage& message);

signals:
    void Seeked(qlonglong position);

private:
    bool Stopped() const;
    // Sends PropertiesChanged with the properties that differ from what was last sent.
    void Refresh();
    QVariantMap ChangingProperties() const;

    SessionAdaptor& session;
    QDBusConnection bus;
    QVariantMap sent; // what the bus was last told
};
