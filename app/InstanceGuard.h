#pragma once
#include <QLocalServer>
#include <QObject>
#include <QString>
#include <QTimer>

class QLocalSocket;

// One LantorFM per working folder: two players in one folder would share, and at close
// delete, each other's cache. The first start holds an advisory lock on a file beside
// config.ini for as long as it runs (the system drops it when a run crashes, so a lock left
// behind is never obeyed) and listens on a local socket named after the folder. A later start
// in the same folder finds the lock held and hands over: it asks the running one to raise its
// window, over MPRIS when that one owns the player's bus name, else over the socket.
//
// Whoever connects to the socket is served one at a time and gets at most kMaxLineBytes and
// kLineTimeoutMs to send its line; then the connection is dropped.
class InstanceGuard : public QObject {
    Q_OBJECT
public:
    static constexpr const char* kLockFile = "lantorfm.lock";
    static constexpr qint64 kMaxLineBytes = 4096;
    static constexpr int kLineTimeoutMs = 2000;

    explicit InstanceGuard(QObject* parent = nullptr);
    ~InstanceGuard() override;
    InstanceGuard(const InstanceGuard&) = delete;
    InstanceGuard& operator=(const InstanceGuard&) = delete;

    // True when this process is now the folder's instance, also when the folder takes no lock
    // file (nothing to guard with then); false when another one runs here.
    bool Acquire();
    // Asks the folder's running instance to raise its window; false when it could not be told.
    bool HandOver();

    // The local socket's name for the current folder.
    static QString SocketName();

signals:
    // Another start in this folder handed over to us.
    void raiseRequested();

private:
    void ServeNext();
    void ReadLine();
    void EndConnection();
    long HolderPid() const;

    int lockFd = -1;
    QLocalServer server;
    QLocalSocket* serving = nullptr; // the one connection read from; owned by the server
    QTimer lineTimer;                // ends it when its line is late
};
