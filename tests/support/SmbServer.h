#pragma once

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

#include <memory>

// A real smbd serving a guest share "C" on one loopback address, port 445: the suite's own (the
// CTest fixture "smbd" on 127.0.0.2) or one a test starts and kills itself. A station's name is
// the server's address, so "\\127.0.0.2\C\..." reaches it over SMB.
class SmbServer
{
public:
    // The fixture's server; null when the suite did not start one (the test then skips).
    static std::unique_ptr<SmbServer> fixture();
    // Starts a server of the test's own under dir; null when that fails.
    static std::unique_ptr<SmbServer> start(const QString& dir, const QString& address);
    // Points libsmbclient at a private configuration (nothing is broadcast). Call before the
    // first access over SMB in the process.
    static void useTestClientConfig();

    ~SmbServer();
    QString address() const { return m_address; }
    // The local folder behind the share.
    QString share() const { return m_dir + QStringLiteral("/share/C"); }

    // Writes a file below the share (a path with "/"), owned by the share's guest account.
    void writeFile(const QString& relative, const QByteArray& bytes) const;
    QByteArray readFile(const QString& relative) const;
    // The client's command file with the given content and an empty probe file.
    void addStation(const QByteArray& commandFile = "0\r\n0\r\n0\r\n0\r\n0\r\n0\r\n0\r\n0") const;
    QByteArray commandFile() const;
    QByteArray commandFileUrl() const;
    static QString commandDir();

    // Kills the server and every process serving a connection, as a crash would.
    void kill();
    // Stops the server and its connections where they stand (or lets them go on): the share then
    // takes connections and requests and answers none, as a hung station does.
    void freeze(bool frozen);

private:
    SmbServer(const QString& dir, const QString& address, bool owned);
    QString m_dir;
    QString m_address;
    bool m_owned;
    bool m_frozen = false;
};

// Another client on the network holding a file of a share open, the way the station's own program
// would, until destroyed: a second libsmbclient context, so the server sees two clients.
class SmbHolder
{
public:
    enum ShareMode { DenyAll, DenyWrite, DenyNone };
    // url: smb://host/share/path
    SmbHolder(const QByteArray& url, bool forWriting, ShareMode mode);
    ~SmbHolder();
    SmbHolder(const SmbHolder&) = delete;
    SmbHolder& operator=(const SmbHolder&) = delete;
    bool holds() const { return m_file != nullptr; }

private:
    void* m_ctx = nullptr;
    void* m_file = nullptr;
};

// A station that never answers on port 445: it listens (the kernel accepts, nothing is said), or,
// with dropConnects, its queue is full at once so that every further connect goes unanswered, as
// with a station that is switched off or black-holed.
class SilentStation
{
public:
    SilentStation(const QString& address, bool dropConnects);
    ~SilentStation();
    SilentStation(const SilentStation&) = delete;
    SilentStation& operator=(const SilentStation&) = delete;

private:
    int m_listener = -1;
    int m_filler = -1;
};
