#include "app/InstanceGuard.h"

#include "app/MprisService.h"

#include <QCryptographicHash>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusReply>
#include <QDir>
#include <QFile>
#include <QLocalSocket>
#include <cerrno>
#include <fcntl.h>
#include <string>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace {

const QByteArray kRaise = "raise\n";
constexpr int kHandOverTimeoutMs = 3000;
constexpr int kLockAttempts = 3;

} // namespace

InstanceGuard::InstanceGuard(QObject* parent) : QObject(parent) {
    connect(&server, &QLocalServer::newConnection, this, &InstanceGuard::ServeNext);
    lineTimer.setSingleShot(true);
    lineTimer.setInterval(kLineTimeoutMs);
    connect(&lineTimer, &QTimer::timeout, this, &InstanceGuard::EndConnection);
}

InstanceGuard::~InstanceGuard() {
    server.close();
    if (lockFd >= 0) {
        // Removed while still locked: a start that opened it meanwhile sees it replaced and
        // opens the file anew.
        ::unlink(kLockFile);
        ::close(lockFd);
    }
}

QString InstanceGuard::SocketName() {
    // Named by user and folder: one instance per folder, and another user's folder of the same
    // name is another socket. Hashed, since a folder path can be longer than a socket name.
    const QByteArray key = QByteArray::number(static_cast<qulonglong>(::getuid())) + '/' +
                           QDir::currentPath().toUtf8();
    const QByteArray hash = QCryptographicHash::hash(key, QCryptographicHash::Sha256).toHex();
    return QStringLiteral("lantorfm-") + QString::fromLatin1(hash.left(32));
}

bool InstanceGuard::Acquire() {
    for (int attempt = 0; attempt < kLockAttempts; ++attempt) {
        const int fd = ::open(kLockFile, O_RDWR | O_CREAT | O_CLOEXEC, 0644);
        if (fd < 0)
            return true;
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            const bool held = errno == EWOULDBLOCK;
            ::close(fd);
            return !held;
        }
        struct stat opened {};
        struct stat named {};
        if (::fstat(fd, &opened) == 0 && ::stat(kLockFile, &named) == 0 &&
            opened.st_dev == named.st_dev && opened.st_ino == named.st_ino) {
            lockFd = fd;
            // The pid only lets a later start find us on the bus; without it the socket works.
            const std::string pid = std::to_string(::getpid()) + "\n";
            [[maybe_unused]] const bool pidStored =
                ::ftruncate(fd, 0) == 0 &&
                ::write(fd, pid.data(), pid.size()) == static_cast<ssize_t>(pid.size());
            const QString name = SocketName();
            QLocalServer::removeServer(name); // left by a crashed run
            server.setSocketOptions(QLocalServer::UserAccessOption);
            server.listen(name);
            return true;
        }
        ::close(fd); // an ending run removed the file under us: lock the new one
    }
    return true;
}

long InstanceGuard::HolderPid() const {
    QFile file(QString::fromLatin1(kLockFile));
    if (!file.open(QIODevice::ReadOnly))
        return 0;
    bool ok = false;
    const long pid = file.readLine(32).trimmed().toLong(&ok);
    return ok ? pid : 0;
}

bool InstanceGuard::HandOver() {
    QDBusConnection bus = QDBusConnection::sessionBus();
    const long holder = HolderPid();
    if (holder > 0 && bus.isConnected() && bus.interface()) {
        // The player's bus name is one per desktop: it counts only when the folder's instance
        // owns it.
        const QString name = QString::fromLatin1(MprisService::kBusName);
        const QDBusReply<uint> owner = bus.interface()->servicePid(name);
        if (owner.isValid() && static_cast<long>(owner.value()) == holder) {
            QDBusMessage raise = QDBusMessage::createMethodCall(
                name, QStringLiteral("/org/mpris/MediaPlayer2"),
                QStringLiteral("org.mpris.MediaPlayer2"), QStringLiteral("Raise"));
            if (bus.call(raise, QDBus::Block, kHandOverTimeoutMs).type() ==
                QDBusMessage::ReplyMessage)
                return true;
        }
    }
    QLocalSocket socket;
    socket.connectToServer(SocketName());
    if (!socket.waitForConnected(kHandOverTimeoutMs))
        return false;
    socket.write(kRaise);
    const bool written = socket.waitForBytesWritten(kHandOverTimeoutMs);
    socket.disconnectFromServer();
    return written;
}

void InstanceGuard::ServeNext() {
    // Later connections wait in the server's queue until this one is done.
    if (serving || !(serving = server.nextPendingConnection()))
        return;
    serving->setReadBufferSize(kMaxLineBytes);
    connect(serving, &QLocalSocket::readyRead, this, &InstanceGuard::ReadLine);
    connect(serving, &QLocalSocket::disconnected, this, [this] {
        ReadLine();
        EndConnection();
    });
    lineTimer.start();
    ReadLine(); // what arrived before it was taken
}

void InstanceGuard::ReadLine() {
    if (!serving)
        return;
    if (serving->canReadLine()) {
        if (serving->readLine(kMaxLineBytes) == kRaise)
            emit raiseRequested();
        EndConnection();
    } else if (serving->bytesAvailable() >= kMaxLineBytes) {
        EndConnection(); // a full buffer and still no line
    }
}

void InstanceGuard::EndConnection() {
    QLocalSocket* done = std::exchange(serving, nullptr);
    if (!done)
        return;
    lineTimer.stop();
    done->disconnect(this);
    done->abort();
    done->deleteLater();
    ServeNext();
}
