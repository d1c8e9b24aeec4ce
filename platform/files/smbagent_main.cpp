// The agent that serves one station over SMB for the console (see SmbAgent.h): requests come as
// frames on standard input, answers go as frames on standard output, one at a time, until the
// console closes the pipe or ends.

#include "platform/files/SmbAgent.h"
#include "platform/files/SmbClient.h"

#include <csignal>
#include <fcntl.h>
#include <sys/prctl.h>
#include <unistd.h>

int main()
{
    // Ended with the console, however the console ends.
    const pid_t console = ::getppid();
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (::getppid() != console)
        return 0;
    std::signal(SIGPIPE, SIG_IGN);
    // The frames get descriptors of their own: nothing the library prints can reach them.
    const int in = ::fcntl(0, F_DUPFD_CLOEXEC, 3);
    const int out = ::fcntl(1, F_DUPFD_CLOEXEC, 3);
    const int devNull = ::open("/dev/null", O_RDWR | O_CLOEXEC);
    if (in < 0 || out < 0 || devNull < 0 || ::dup2(devNull, 0) < 0 || ::dup2(devNull, 1) < 0)
        return 2;
    // Before any work: the console knows at once that this is its agent and that it runs.
    if (!SmbAgent::writeFrame(out, SmbAgent::hello()))
        return 0;

    for (;;) {
        QByteArray frame;
        SmbAgent::Request request;
        if (!SmbAgent::readFrame(in, frame, -1))
            ::_exit(0);
        if (!SmbAgent::decode(frame, request))
            ::_exit(2);
        if (!request.prefix.isEmpty())
            qputenv("QUORVEL_PREFIX", request.prefix.toUtf8());
        SmbAgent::Reply reply;
        const SmbClient::Target target{request.host, request.url};
        switch (request.op) {
        case SmbAgent::Op::Read:
            reply.failure = SmbClient::Direct::read(target, request.maxSize, reply.bytes);
            break;
        case SmbAgent::Op::Write:
            reply.failure = SmbClient::Direct::write(target, request.bytes);
            break;
        }
        reply.logonRefused = SmbClient::Direct::takeRefusedLogons().contains(request.host.toLower());
        if (!SmbAgent::writeFrame(out, SmbAgent::encode(reply)))
            ::_exit(0);
    }
}
