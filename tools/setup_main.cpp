#include "install/Installer.h"
#include "platform/files/WinPath.h"

#include <QCoreApplication>
#include <QTextStream>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    Installer::Options options;
    options.programDir = QCoreApplication::applicationDirPath();
    const QStringList args = app.arguments().mid(1);
    for (const QString& arg : args) {
        if (arg == QLatin1String("--demo")) {
            options.demo = true;
        } else if (arg == QLatin1String("--help") || arg == QLatin1String("-h")) {
            out << "usage: quorvel-setup [--demo]\n"
                   "Creates the install tree under the prefix (QUORVEL_PREFIX, else $XDG_DATA_HOME/quorvel,\n"
                   "else ~/.local/share/quorvel). --demo adds simulated stations and lists them in the roster.\n"
                   "Existing files are never overwritten.\n";
            return 0;
        } else {
            QTextStream(stderr) << "quorvel-setup: unknown argument " << arg << " (try --help)\n";
            return 2;
        }
    }
    out << "prefix: " << WinPath::prefix() << "\n";
    Installer installer(options);
    const bool ok = installer.run();
    for (const QString& line : installer.report())
        out << line << "\n";
    return ok ? 0 : 1;
}
