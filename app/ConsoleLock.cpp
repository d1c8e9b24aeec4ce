#include "app/ConsoleLock.h"

#include "install/InstallPaths.h"
#include "platform/files/WinPath.h"

#include <QCryptographicHash>
#include <QLocalServer>
#include <QLocalSocket>

namespace {
const QByteArray ShowRequest = "show\n";
const QByteArray Shown = "ok\n";
constexpr int AnswerWaitMs = 2000;
} // namespace

ConsoleLock::ConsoleLock(const std::optional<QString>& lockPath, QObject* parent)
    : QObject(parent)
    , m_path(lockPath.value_or(QString()))
{
    if (!lockPath)
        return;
    m_lock.emplace(*lockPath);
    // Stale only when its holder is gone, however long a console runs.
    m_lock->setStaleLockTime(0);
}

ConsoleLock::~ConsoleLock() = default;

std::optional<QString> ConsoleLock::installLockPath()
{
    const QString path = WinPath::resolve(InstallPaths::ConsoleLock).localPath;
    if (path.isEmpty())
        return std::nullopt;
    return path;
}

QString ConsoleLock::busyMessage()
{
    return QStringLiteral("يعمل QuorvelServer على هذا الجهاز ولا يستجيب");
}

QString ConsoleLock::serverName() const
{
    // One name per install, short enough for a socket path.
    return QStringLiteral("quorvel-console-")
        + QString::fromLatin1(QCryptographicHash::hash(m_path.toUtf8(), QCryptographicHash::Sha1).toHex().left(16));
}

ConsoleLock::Start ConsoleLock::acquire(int waitMs)
{
    if (!m_lock)
        return Start::NoPlace;
    if (m_lock->tryLock(0)) {
        listen();
        return Start::Acquired;
    }
    if (m_lock->error() != QLockFile::LockFailedError)
        return Start::NoPlace;

    QLocalSocket socket;
    socket.connectToServer(serverName());
    if (socket.waitForConnected(AnswerWaitMs)) {
        socket.write(ShowRequest);
        if (socket.waitForBytesWritten(AnswerWaitMs) && socket.waitForReadyRead(AnswerWaitMs))
            return Start::HandedOver;
    }
    if (m_lock->tryLock(waitMs)) {
        listen();
        return Start::Acquired;
    }
    return Start::Busy;
}

void ConsoleLock::listen()
{
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    // A socket left by a console that was killed; the lock says nobody serves it now.
    QLocalServer::removeServer(serverName());
    if (!m_server->listen(serverName()))
        return; // a second start then waits for the lock and gives up: nothing else is lost
    connect(m_server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* socket = m_server->nextPendingConnection()) {
            connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
                if (!socket->canReadLine())
                    return;
                const bool show = socket->readLine() == ShowRequest;
                socket->write(Shown);
                socket->flush();
                socket->disconnectFromServer();
                if (show)
                    emit showRequested();
            });
        }
    });
}

void ConsoleLock::stopListening()
{
    if (m_server)
        m_server->close();
}
