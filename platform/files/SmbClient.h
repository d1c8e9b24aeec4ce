#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>

// Station shares reached over SMB, for stations with no local mapping.
//
// Each station is served by an agent process of its own (SmbAgent), whose one client context
// keeps the station's connection for reuse. Every operation on a station is bounded to about a
// second: a station whose port does not answer within that is unreachable, a server that stops
// answering times out, and a station that has just failed is not dialled again within the same
// second. Any thread may call these; calls for one station are served one after another.
//
// Credentials: guest, unless <prefix>/smb-credentials holds "username = ", "password = " and
// "domain = " lines (readable by its owner only); the agent reads the file again only when it
// changed. Name resolution for the connection check is the system's resolver; everything else
// comes from libsmbclient's usual configuration.
//
// Failures come back as the platform's reason texts, never with a credential in them.
namespace SmbClient {

struct Target
{
    QString host;   // the station's name, as the UNC path gave it
    QByteArray url; // smb://host/share/path, percent-encoded
};

QByteArray url(const QString& host, const QStringList& components);

// Reads the whole file, sharing it with readers only. Returns the failure's reason text, or
// nothing on success. Files over maxSize are refused.
std::optional<QString> read(const Target& target, qsizetype maxSize, QByteArray& bytes);

// Opens the file exclusively, then replaces its contents with bytes. Nothing changes in a file
// that cannot be held. Returns the failure's reason text, or nothing on success.
std::optional<QString> write(const Target& target, const QByteArray& bytes);

// Why the credentials file is refused; nothing when it is usable or absent.
std::optional<QString> credentialsProblem();

// The stations whose log-on was refused since last asked (a wrong password, a station that takes
// no guest), each told once; and the text that says so, naming the credentials file.
QStringList takeRefusedLogons();
QString logonRefusedText(const QStringList& hosts);

// Whether the station's port answers a dial within the bound, at any address its name resolves to.
bool portAnswers(const QString& host);

// The path of the credentials file.
QString credentialsPath();

// The work itself, in this process: what the agent runs. One thread only.
namespace Direct {
std::optional<QString> read(const Target& target, qsizetype maxSize, QByteArray& bytes);
std::optional<QString> write(const Target& target, const QByteArray& bytes);
QStringList takeRefusedLogons();
} // namespace Direct

} // namespace SmbClient
