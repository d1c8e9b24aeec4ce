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
    static QString commandDir();

    // Kills the server and every process serving a connection, as a crash would.
    void kill();

private:
    SmbServer(const QString& dir, const QString& address, bool owned);
    QString m_dir;
    QString m_address;
    bool m_owned;
};
