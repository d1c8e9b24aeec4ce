#pragma once

#include <QString>
#include <QStringList>

// Creates the install tree under the prefix: directories, settings files, program files and,
// on request, a few simulated stations. Never overwrites anything that exists.
class Installer
{
public:
    struct Options
    {
        bool demo = false;
        // Where the built program files are; they are linked into the install directory.
        QString programDir;
    };

    explicit Installer(Options options);

    // Returns false when something could not be created; report() says what happened.
    bool run();
    const QStringList& report() const { return m_report; }

    // The demo stations: all but the last get a mapped share, so the demo shows both lamps.
    static QStringList demoStations();

private:
    bool makeDir(const QString& windowsPath);
    bool makeFile(const QString& windowsPath, const QByteArray& content);
    bool linkProgram(const QString& fileName);
    bool makeTables();
    void warnOfShadowingFolders();

    Options m_options;
    QStringList m_report;
};
