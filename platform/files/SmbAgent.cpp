#include "platform/files/SmbAgent.h"
#include "platform/files/SystemTexts.h"

#include "platform/files/SmbClient.h"
#include "platform/files/WinPath.h"

#include <QDataStream>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QMutex>
#include <QMutexLocker>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
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

// A station that did not answer a dial is not dialled again within this long.
constexpr qint64 RememberFailureMs = 1000;

qint64 nowMs()
{
    static const QElapsedTimer clock = [] {
        QElapsedTimer started;
        started.start();
        return started;
    }();
    return clock.elapsed();
}

struct Agent
{
    QMutex mutex; // one request at a time
    pid_t pid = -1;
    int to = -1;
    int from = -1;
    bool heard = false;   // it said hello
    qint64 startedAt = 0; // when it was started
    qint64 failedAt = -1; // its station last failed a dial then
};

QMutex g_problemMutex;
std::optional<QString> g_problem;
bool g_problemTold = false;

void keepProblem(const QString& problem)
{
    QMutexLocker lock(&g_problemMutex);
    if (g_problem == problem)
        return;
    g_problem = problem;
    g_problemTold = false;
}

void withdrawProblem()
{
    QMutexLocker lock(&g_problemMutex);
    g_problem.reset();
    g_problemTold = false;
}

QString problemText(const QString& what)
{
    return QStringLiteral("برنامج الاتصال بالأجهزة \"%1\" %2، فلا يمكن الوصول إلى أي جهاز عبر الشبكة حتى يُصلح.")
        .arg(programPath(), what);
}

QString cannotStartText(int err)
{
    switch (err) {
    case ENOENT:
    case ENOTDIR:
        return problemText(QStringLiteral("غير موجود"));
    case EACCES:
    case EPERM:
        return problemText(QStringLiteral("لا يُسمح بتشغيله (ليس له إذن التنفيذ)"));
    case ENOEXEC:
        return problemText(QStringLiteral("ليس برنامجا يعمل على هذا الجهاز"));
    default:
        return problemText(QStringLiteral("لا يمكن تشغيله: %1").arg(QString::fromLocal8Bit(std::strerror(err))));
    }
}

QString endedText(int status)
{
    if (WIFEXITED(status))
        return problemText(QStringLiteral("توقف عند بدئه (رمز الخروج %1)").arg(WEXITSTATUS(status)));
    if (WIFSIGNALED(status))
        return problemText(QStringLiteral("توقف عند بدئه (الإشارة %1)").arg(WTERMSIG(status)));
    return problemText(QStringLiteral("توقف عند بدئه"));
}

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

// Returns how the process ended (as waitpid tells it): an agent that had ended by itself keeps
// its own status.
int stop(Agent& agent)
{
    for (int* fd : {&agent.to, &agent.from}) {
        if (*fd >= 0)
            ::close(*fd);
        *fd = -1;
    }
    int status = 0;
    if (agent.pid > 0) {
        ::kill(agent.pid, SIGKILL);
        while (::waitpid(agent.pid, &status, 0) < 0 && errno == EINTR) {
        }
    }
    agent.pid = -1;
    agent.heard = false;
    return status;
}

// Nothing, or why the program cannot be started.
std::optional<QString> start(Agent& agent)
{
    // A write to an agent that has ended must fail, not end the console.
    std::signal(SIGPIPE, SIG_IGN);
    int toChild[2];
    int fromChild[2];
    if (::pipe2(toChild, O_CLOEXEC) != 0)
        return cannotStartText(errno);
    if (::pipe2(fromChild, O_CLOEXEC) != 0) {
        const int err = errno;
        ::close(toChild[0]);
        ::close(toChild[1]);
        return cannotStartText(err);
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
        return cannotStartText(rc);
    }
    agent.pid = pid;
    agent.to = toChild[1];
    agent.from = fromChild[0];
    agent.heard = false;
    agent.startedAt = nowMs();
    return std::nullopt;
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

// Brings the host's agent to where it takes a request: started when none runs, once its station's
// port answers, and heard from. False when the request is to fail as an unreachable station.
bool ready(Agent& agent, const QString& host)
{
    if (agent.pid < 0) {
        if (agent.failedAt >= 0 && nowMs() - agent.failedAt < RememberFailureMs)
            return false;
        if (!SmbClient::portAnswers(host)) {
            agent.failedAt = nowMs();
            return false;
        }
        agent.failedAt = -1;
        if (const std::optional<QString> problem = start(agent)) {
            keepProblem(*problem);
            return false;
        }
    }
    if (agent.heard)
        return true;
    QByteArray said;
    const qint64 left = agent.startedAt + HelloBoundMs - nowMs();
    const int rc = readFrameFor(agent.from, said, int(std::clamp<qint64>(left, 1, HelloBoundMs)));
    if (rc == 1 && said == hello()) {
        agent.heard = true;
        withdrawProblem();
        return true;
    }
    // Still silent: its station fails now, and at once until the agent speaks or is given up.
    if (rc == -1 && nowMs() - agent.startedAt < GiveUpMs) {
        keepProblem(problemText(QStringLiteral("لا يستجيب")));
        return false;
    }
    const int status = stop(agent);
    if (rc == 1)
        keepProblem(problemText(QStringLiteral("لا يجيب كما يجيب برنامج الاتصال")));
    else if (rc == 0)
        keepProblem(endedText(status));
    else
        keepProblem(problemText(QStringLiteral("لا يستجيب")));
    return false;
}

} // namespace

void endAll()
{
    QMutexLocker lock(&g_registry);
    for (auto& [host, agent] : agents()) {
        if (!agent->mutex.tryLock())
            continue;
        stop(*agent);
        agent->mutex.unlock();
    }
}

std::optional<QString> takeProblem()
{
    QMutexLocker lock(&g_problemMutex);
    if (!g_problem || g_problemTold)
        return std::nullopt;
    g_problemTold = true;
    return g_problem;
}

QByteArray hello()
{
    return QByteArrayLiteral("quorvel-smb-agent 1");
}

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
        if (!ready(agent, request.host))
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
