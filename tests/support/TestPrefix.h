#pragma once

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

// A throw-away prefix for one test: QUORVEL_PREFIX points at it and the current directory is the
// install root inside it, as a shortcut's "start in" would set it. Restores both on destruction.
class TestPrefix
{
public:
    TestPrefix();
    ~TestPrefix();
    TestPrefix(const TestPrefix&) = delete;
    TestPrefix& operator=(const TestPrefix&) = delete;

    QString root() const { return m_dir.path(); }
    // <prefix>/drive_c/Program Files/Kelvarin/QuorvelServer
    QString installDir() const;
    // The local path of a Windows path under this prefix.
    QString local(const QString& windowsPath) const;

    // Creates the directories of the install tree (no files).
    void makeInstallTree() const;
    // Creates the install tree with the four empty tables, as the setup program does.
    void makeTables() const;
    // Writes bytes into a Windows path, creating its directories.
    void writeFile(const QString& windowsPath, const QByteArray& bytes) const;
    QByteArray readFile(const QString& windowsPath) const;

    // A simulated station: its mapped share with the command directory, a command file with the
    // given content and an empty probe file.
    void addStation(const QString& name, const QByteArray& commandFile = "0\r\n0\r\n0\r\n0\r\n0\r\n0\r\n0\r\n0") const;
    QByteArray commandFile(const QString& station) const;

private:
    QTemporaryDir m_dir;
    QByteArray m_oldPrefix;
    bool m_hadPrefix;
    QString m_oldCwd;
};
