#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

// Each station reached over SMB is served by a helper process of its own, "quorvel-smb-agent",
// started on first use and kept. libsmbclient cannot serve several threads of one process at
// once, and a station that hangs must hold up nothing but its own work: a process per station
// gives each station its own client, and any thread may ask any station while another waits on a
// third. Requests to one station are answered one after another.
//
// The agent bounds every operation itself (about a second); one that does not answer within
// ReplyBoundMs is ended and the request fails as an unreachable station. A station whose port does
// not answer is not worth a process: the console dials it first and starts its agent only when it
// answers, so stations that are switched off cost one bound together, not a process each.
//
// A started agent says hello before anything else. One that cannot be started, ends before its
// hello or says nothing within HelloBoundMs is unusable: the request fails as an unreachable
// station, and the program and what is wrong with it are kept for the operator (takeProblem), so
// that a broken install is named once rather than shown as every lamp red.
namespace SmbAgent {

enum class Op : quint8 { Read = 'R', Write = 'W' };

struct Request
{
    Op op = Op::Read;
    QString host;
    QByteArray url;
    qint64 maxSize = 0;
    QByteArray bytes;
    QString prefix; // the install's prefix, for the credentials file
};

struct Reply
{
    std::optional<QString> failure; // the reason text, present only when the operation failed
    QByteArray bytes;
    bool logonRefused = false;
};

constexpr int ReplyBoundMs = 10000;
// The station's own bound: a window that waits for a station never waits longer for its agent.
constexpr int HelloBoundMs = 1000;
// An agent that has not said hello by then is ended and started afresh at the next request; until
// then requests to its station fail at once.
constexpr int GiveUpMs = 10000;

// Asks the host's agent, starting it when needed. Never throws: a failed agent is a failure text.
Reply call(const Request& request);

// Ends every agent, whatever program it runs; a later request starts its station's agent again.
// An agent busy with a request is left to end with its thread.
void endAll();

// What is wrong with the agent program, in the operator's words, when it was found unusable and
// has not been told since; nothing otherwise. An agent that works again withdraws it.
std::optional<QString> takeProblem();

// The agent's own end: frames on its standard input and output; the first frame it writes is
// hello().
QByteArray hello();
QByteArray encode(const Request& request);
bool decode(const QByteArray& frame, Request& request);
QByteArray encode(const Reply& reply);
bool decode(const QByteArray& frame, Reply& reply);
// Reads one length-prefixed frame from fd, waiting at most timeoutMs (-1: no bound). False at the
// end of the stream, on a failure or on timeout.
bool readFrame(int fd, QByteArray& frame, int timeoutMs);
bool writeFrame(int fd, const QByteArray& frame);

// Where the agent program is: QUORVEL_SMB_AGENT, or beside the running program.
QString programPath();

} // namespace SmbAgent
