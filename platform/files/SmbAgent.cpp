#include "platform/files/SmbAgent.h"
#include "platform/files/SystemTexts.h"

#include "platform/files/WinPath.h"

#include <QDataStream>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QMutex>
#include <QMutexLocker>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <map>
#include <memory>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace SmbAgent {

namespace {

constexpr quint32 MaxFrame = 16 * 1024 * 1024;

struct Agent
{
    QMutex mutex; // one request at a time
    pid_t pid = -1;
    int to = -1;
    int from = -1;
};

QMutex g_registry;
std::map<QString, std::unique_ptr<Agent>>& agents()
{
    static std::map<QString, std::unique_ptr<Agent>> all;
    return all;
}

Agent& agentFor(const QString& host)
{
    QMutexLocker lock(&g_registry);
    std::unique_ptr<Agent>& agent = agents()[host.toLower()];
    if (!agent)
        agent = std::make_unique<Agent>();
    return *agent;
}

void stop(Agent& agent)
{
    for (int* fd : {&agent.to, &agent.from}) {
        if (*fd >= 0)
            ::close(*fd);
        *fd = -1;
    }
    if (agent.pid > 0) {
        ::kill(agent.pid, SIGKILL);
        while (::waitpid(agent.pid, nullptr, 0) < 0 && errno == EINTR) {
        }
    }
    agent.pid = -1;
}

bool start(Agent& agent)
{
    // A write to an agent that has ended must fail, not end the console.
    std::signal(SIGPIPE, SIG_IGN);
    int toChild[2];
    int fromChild[2];
    if (::pipe2(toChild, O_CLOEXEC) != 0)
        return false;
    if (::pipe2(fromChild, O_CLOEXEC) != 0) {
        ::close(toChild[0]);
        ::close(toChild[1]);
        return false;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, toChild[0], 0);
    posix_spawn_file_actions_adddup2(&actions, fromChild[1], 1);
    const QByteArray program = QFile::encodeName(programPath());
    char* argv[] = {const_cast<char*>(program.constData()), nullptr};
    pid_t pid = -1;
    const int rc = ::posix_spawn(&pid, program.constData(), &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(toChild[0]);
    ::close(fromChild[1]);
    if (rc != 0) {
        ::close(toChild[1]);
        ::close(fromChild[0]);
        return false;
    }
    agent.pid = pid;
    agent.to = toChild[1];
    agent.from = fromChild[0];
    return true;
}

Reply unreachable()
{
    return {SystemTexts::networkPathNotFound(), {}, false};
}

// 1: a frame; 0: the end of the stream or a failure; -1: no frame within the time.
int readFrameFor(int fd, QByteArray& frame, int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    auto readFully = [&](char* into, size_t size) {
        size_t done = 0;
        while (done < size) {
            if (timeoutMs >= 0) {
                const qint64 left = timeoutMs - clock.elapsed();
                if (left <= 0)
                    return -1;
                struct pollfd p
                {
                    fd, POLLIN, 0
                };
                const int ready = ::poll(&p, 1, int(left));
                if (ready < 0 && errno == EINTR)
                    continue;
                if (ready < 0)
                    return 0;
                if (ready == 0)
                    return -1;
            }
            const ssize_t n = ::read(fd, into + done, size - done);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                return 0;
            done += size_t(n);
        }
        return 1;
    };
    unsigned char head[4];
    if (const int rc = readFully(reinterpret_cast<char*>(head), sizeof head); rc != 1)
        return rc;
    const quint32 size = quint32(head[0]) | quint32(head[1]) << 8 | quint32(head[2]) << 16 | quint32(head[3]) << 24;
    if (size > MaxFrame)
        return 0;
    frame.resize(qsizetype(size));
    return readFully(frame.data(), size);
}

} // namespace

QString programPath()
{
    const QString given = qEnvironmentVariable("QUORVEL_SMB_AGENT");
    if (!given.isEmpty())
        return given;
    return QFileInfo(QFile::symLinkTarget(QStringLiteral("/proc/self/exe"))).absolutePath()
        + QStringLiteral("/quorvel-smb-agent");
}

bool readFrame(int fd, QByteArray& frame, int timeoutMs)
{
    return readFrameFor(fd, frame, timeoutMs) == 1;
}

bool writeFrame(int fd, const QByteArray& frame)
{
    const quint32 size = quint32(frame.size());
    QByteArray all(4, '\0');
    for (int i = 0; i < 4; ++i)
        all[i] = char((size >> (8 * i)) & 0xff);
    all += frame;
    qsizetype done = 0;
    while (done < all.size()) {
        const ssize_t n = ::write(fd, all.constData() + done, size_t(all.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += n;
    }
    return true;
}

QByteArray encode(const Request& request)
{
    QByteArray frame;
    QDataStream out(&frame, QIODevice::WriteOnly);
    out << quint8(request.op) << request.host << request.url << request.maxSize << request.bytes << request.prefix;
    return frame;
}

bool decode(const QByteArray& frame, Request& request)
{
    QDataStream in(frame);
    quint8 op = 0;
    in >> op >> request.host >> request.url >> request.maxSize >> request.bytes >> request.prefix;
    if (in.status() != QDataStream::Ok || !in.atEnd())
        return false;
    if (op != quint8(Op::Read) && op != quint8(Op::Write))
        return false;
    request.op = Op(op);
    return true;
}

QByteArray encode(const Reply& reply)
{
    QByteArray frame;
    QDataStream out(&frame, QIODevice::WriteOnly);
    out << reply.failure.has_value() << reply.failure.value_or(QString()) << reply.bytes << reply.logonRefused;
    return frame;
}

bool decode(const QByteArray& frame, Reply& reply)
{
    QDataStream in(frame);
    bool failed = false;
    QString failure;
    in >> failed >> failure >> reply.bytes >> reply.logonRefused;
    if (failed)
        reply.failure = failure;
    return in.status() == QDataStream::Ok && in.atEnd();
}

Reply call(const Request& request)
{
    Agent& agent = agentFor(request.host);
    QMutexLocker lock(&agent.mutex);
    const QByteArray frame = encode(request);
    // An agent that ended since its last request (it crashed, or was ended) is started again once;
    // a request is whole-file and may be given twice.
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (agent.pid < 0 && !start(agent))
            return unreachable();
        if (!writeFrame(agent.to, frame)) {
            stop(agent);
            continue;
        }
        QByteArray answer;
        const int rc = readFrameFor(agent.from, answer, ReplyBoundMs);
        Reply reply;
        if (rc == 1 && decode(answer, reply))
            return reply;
        stop(agent);
        if (rc == -1)
            return unreachable(); // it hung past every bound of its own: not asked again now
    }
    return unreachable();
}

} // namespace SmbAgent
