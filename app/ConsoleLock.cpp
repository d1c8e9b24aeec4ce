#include "app/ConsoleLock.h"

#include "install/InstallPaths.h"
#include "platform/files/WinPath.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDateTime>
#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QSysInfo>
#include <QThread>

#include <cerrno>
#include <csignal>
#include <sys/statvfs.h>
#include <unistd.h>

namespace {
const QByteArray ShowRequest = "show\n";
const QByteArray Shown = "ok\n";
const QByteArray Ending = "ending\n";
constexpr int AnswerWaitMs = 2000;
// Ending takes a few seconds at most (the stations let go together); past this it is hung.
constexpr int EndingWaitMs = 60'000;
// A lock made by a start at the same instant is empty for a moment: what looks foreign must stay
// so this long before the operator is asked.
constexpr int ForeignSettleMs = 1000;
constexpr int RetryMs = 100;

void answerEnding(QLocalServer* server)
{
    while (QLocalSocket* socket = server->nextPendingConnection()) {
        QObject::connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        socket->write(Ending);
        socket->disconnectFromServer();
    }
}

bool processRuns(qint64 pid)
{
    return pid > 0 && (::kill(pid_t(pid), 0) == 0 || errno == EPERM);
}

QString thisProgram()
{
    return QFileInfo(QCoreApplication::applicationFilePath()).fileName();
}
} // namespace

// Answers on a thread of its own, so that a second start hears that this console is ending even
// while the window's loop has stopped and the stations are letting go.
class EndingAnswer
{
public:
    explicit EndingAnswer(const QString& name)
    {
        m_thread.setObjectName(QStringLiteral("ending"));
        m_thread.start();
        m_server = new QLocalServer;
        m_server->moveToThread(&m_thread);
        QMetaObject::invokeMethod(
            m_server,
            [server = m_server, name] {
                server->setSocketOptions(QLocalServer::UserAccessOption);
                QLocalServer::removeServer(name);
                if (server->listen(name))
                    QObject::connect(server, &QLocalServer::newConnection, server, [server] { answerEnding(server); });
            },
            Qt::BlockingQueuedConnection);
    }
    ~EndingAnswer()
    {
        QMetaObject::invokeMethod(
            m_server, [server = m_server] { delete server; }, Qt::BlockingQueuedConnection);
        m_thread.quit();
        m_thread.wait();
    }

private:
    QThread m_thread;
    QLocalServer* m_server = nullptr;
};

ConsoleLock::ConsoleLock(const std::optional<QString>& lockPath, QObject* parent)
    : QObject(parent)
    , m_path(lockPath.value_or(QString()))
{
    m_holder.path = m_path == installLockPath() ? InstallPaths::ConsoleLock : m_path;
    if (!lockPath)
        return;
    m_lock.emplace(*lockPath);
    // Stale only when its holder is gone, however long a console runs.
    m_lock->setStaleLockTime(0);
}

ConsoleLock::~ConsoleLock()
{
    // Let go before falling silent: a start that hears nothing then finds the lock free.
    if (m_lock)
        m_lock->unlock();
    m_ending.reset();
}

std::optional<QString> ConsoleLock::installLockPath()
{
    const QString path = WinPath::resolve(InstallPaths::ConsoleLock).localPath;
    if (path.isEmpty())
        return std::nullopt;
    return path;
}

QString ConsoleLock::serverName() const
{
    // One name per install, short enough for a socket path.
    return QStringLiteral("quorvel-console-")
        + QString::fromLatin1(QCryptographicHash::hash(m_path.toUtf8(), QCryptographicHash::Sha1).toHex().left(16));
}

ConsoleLock::Answer ConsoleLock::ask() const
{
    QLocalSocket socket;
    socket.connectToServer(serverName());
    if (!socket.waitForConnected(AnswerWaitMs))
        return Answer::None;
    socket.write(ShowRequest);
    socket.waitForBytesWritten(AnswerWaitMs);
    while (!socket.canReadLine() && socket.waitForReadyRead(AnswerWaitMs)) {
    }
    const QByteArray line = socket.readLine();
    if (line == Shown)
        return Answer::Shown;
    if (line == Ending)
        return Answer::Ending;
    return Answer::None;
}

ConsoleLock::Holder ConsoleLock::readHolder() const
{
    Holder holder;
    holder.path = m_holder.path;
    const QFileInfo info(m_path);
    if (info.isSymLink()) {
        holder.kind = Holder::Link;
        holder.linkTarget = info.symLinkTarget();
    } else if (info.isDir()) {
        holder.kind = Holder::Folder;
    } else if (info.exists() && !info.isFile()) {
        holder.kind = Holder::Other;
    } else if (!m_lock->getLockInfo(&holder.pid, &holder.host, &holder.program)) {
        holder.kind = info.exists() ? Holder::Unreadable : Holder::LockFile;
    }
    return holder;
}

bool ConsoleLock::holderIsConsole(const Holder& holder) const
{
    return holder.kind == Holder::LockFile && (holder.host.isEmpty() || holder.host == QSysInfo::machineHostName())
        && processRuns(holder.pid) && holder.program == thisProgram();
}

ConsoleLock::Start ConsoleLock::acquire(int busyWaitMs)
{
    if (!m_lock) {
        m_unlockedReason = QStringLiteral("لا مكان له لأن مجلد التثبيت غير معروف");
        listen();
        return Start::Unlocked;
    }
    QDeadlineTimer busyBy(busyWaitMs);
    const QDeadlineTimer endingBy(EndingWaitMs);
    std::optional<QDeadlineTimer> foreignBy;
    for (;;) {
        if (m_lock->tryLock(0)) {
            listen();
            return Start::Acquired;
        }
        const bool taken = m_lock->error() == QLockFile::LockFailedError;
        switch (ask()) {
        case Answer::Shown:
            return Start::HandedOver;
        case Answer::Ending:
            m_holder = readHolder();
            if (endingBy.hasExpired())
                return Start::Busy;
            // An ending console is not a hung one: the wait for an answer starts again after it.
            busyBy.setRemainingTime(busyWaitMs);
            foreignBy.reset();
            break;
        case Answer::None:
            if (!taken) {
                m_unlockedReason = lockError();
                listen();
                return Start::Unlocked;
            }
            m_holder = readHolder();
            if (holderIsConsole(m_holder)) {
                // Ending, or a start at the same instant not yet listening.
                foreignBy.reset();
                if (busyBy.hasExpired())
                    return Start::Busy;
            } else {
                if (!foreignBy)
                    foreignBy.emplace(ForeignSettleMs);
                if (foreignBy->hasExpired())
                    return Start::Foreign;
            }
            break;
        }
        QThread::msleep(RetryMs);
    }
}

ConsoleLock::Start ConsoleLock::takeOver(int busyWaitMs)
{
    const Holder now = readHolder();
    const bool same = now.kind == m_holder.kind && now.pid == m_holder.pid && now.host == m_holder.host
        && now.program == m_holder.program && now.linkTarget == m_holder.linkTarget;
    // What was shown is what is put aside: a console that came meanwhile keeps its lock.
    if (same) {
        bool cleared = false;
        if (m_holder.kind == Holder::Folder) {
            // A folder may hold something of someone's: an empty one goes, any other is kept aside.
            const QString aside = m_path + QLatin1Char('.')
                + QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-hhmmss"));
            cleared = QDir().rmdir(m_path) || QDir().rename(m_path, aside);
        } else {
            // A link goes, never what it points to.
            cleared = QFile::remove(m_path) || (!QFileInfo(m_path).exists() && !QFileInfo(m_path).isSymLink());
        }
        if (!cleared) {
            m_unlockedReason = QStringLiteral("تعذّر إزالة ما في مكانه (%1)").arg(lockError());
            listen();
            return Start::Unlocked;
        }
    }
    return acquire(busyWaitMs);
}

QString ConsoleLock::lockError() const
{
    const QString dir = QDir::toNativeSeparators(QFileInfo(m_path).absolutePath());
    const QByteArray local = QFile::encodeName(QFileInfo(m_path).absolutePath());
    struct statvfs fs
    {};
    if (::statvfs(local.constData(), &fs) == 0 && (fs.f_flag & ST_RDONLY))
        return QStringLiteral("المجلد %1 على قرص للقراءة فقط").arg(dir);
    if (!QFileInfo(dir).isDir())
        return QStringLiteral("المجلد %1 غير موجود").arg(dir);
    if (::access(local.constData(), W_OK) != 0)
        return QStringLiteral("لا يُسمح بالكتابة في المجلد %1").arg(dir);
    if (::statvfs(local.constData(), &fs) == 0 && fs.f_bavail == 0)
        return QStringLiteral("القرص الذي عليه المجلد %1 ممتلئ").arg(dir);
    return QStringLiteral("تعذّر إنشاء ملف في المجلد %1").arg(dir);
}

QString ConsoleLock::busyMessage()
{
    return QStringLiteral("يعمل QuorvelServer على هذا الجهاز ولا يستجيب");
}

QString ConsoleLock::busyText() const
{
    return busyMessage()
        + QStringLiteral(".\nملف القفل: %1\nتحمله العملية %2 (%3).")
              .arg(m_holder.path, QString::number(m_holder.pid), m_holder.program);
}

QString ConsoleLock::foreignText() const
{
    QString what;
    switch (m_holder.kind) {
    case Holder::Folder:
        what = QStringLiteral("في مكانه مجلد لا ملف (يُحذف إن كان فارغاً، وإلا يُنقل جانباً باسم آخر).");
        break;
    case Holder::Link:
        what = QStringLiteral("في مكانه رابط إلى %1 (يُحذف الرابط وحده).").arg(m_holder.linkTarget);
        break;
    case Holder::Other:
        what = QStringLiteral("في مكانه شيء ليس ملفاً عادياً.");
        break;
    case Holder::Unreadable:
        what = QStringLiteral("لا يمكن قراءة صاحبه منه.");
        break;
    case Holder::LockFile:
        if (!m_holder.host.isEmpty() && m_holder.host != QSysInfo::machineHostName())
            what = QStringLiteral(
                       "كتبه جهاز اسمه «%1» (العملية %2، %3)، واسم هذا الجهاز «%4»؛ ربما نُسخ التثبيت أو غُيّر اسم الجهاز.")
                       .arg(m_holder.host, QString::number(m_holder.pid), m_holder.program, QSysInfo::machineHostName());
        else if (processRuns(m_holder.pid))
            what = QStringLiteral("تحمله العملية %1 (%2)، وهي ليست QuorvelServer.")
                       .arg(QString::number(m_holder.pid), m_holder.program);
        else
            what = QStringLiteral("تركته العملية %1 (%2) التي انتهت، ولم يمكن حذفه.")
                       .arg(QString::number(m_holder.pid), m_holder.program);
        break;
    }
    return QStringLiteral("ملف القفل %1 لا يخص QuorvelServer يعمل على هذا الجهاز، ولا يجيب أي QuorvelServer هنا.\n%2\n"
                          "الاستيلاء على القفل يشغّل QuorvelServer على هذا الجهاز.")
        .arg(m_holder.path, what);
}

QString ConsoleLock::unlockedText() const
{
    return QStringLiteral("لا يمكن إنشاء ملف القفل %1: %2.\n"
                          "قد يعمل إذن QuorvelServer ثانٍ على هذا التثبيت فيحتسب الجلسات نفسها مرتين؛ "
                          "يُرفض التشغيل الثاني ما دام هذا يستجيب فقط. اجعل المجلد قابلاً للكتابة.")
        .arg(m_holder.path, m_unlockedReason);
}

void ConsoleLock::listen()
{
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    // A socket left by a console that was killed: nobody answered on it.
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

void ConsoleLock::announceEnding()
{
    if (m_ending)
        return;
    if (m_server)
        m_server->close();
    m_ending = std::make_unique<EndingAnswer>(serverName());
}
