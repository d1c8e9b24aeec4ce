#include "install/Installer.h"
#include "install/OwnerPin.h"
#include "platform/AppError.h"
#include "platform/files/WinPath.h"

#include <QCoreApplication>
#include <QTextStream>
#include <cstdio>
#include <iostream>
#include <string>
#include <termios.h>
#include <unistd.h>

namespace {

// One line of standard input, not echoed when it is a terminal; nothing at its end.
std::optional<QString> readSecret(const char* prompt)
{
    std::fputs(prompt, stderr);
    std::fflush(stderr);
    termios saved{};
    const bool terminal = ::isatty(STDIN_FILENO) && ::tcgetattr(STDIN_FILENO, &saved) == 0;
    if (terminal) {
        termios quiet = saved;
        quiet.c_lflag &= ~tcflag_t(ECHO);
        ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
    }
    std::string line;
    const bool read = bool(std::getline(std::cin, line));
    if (terminal) {
        ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved);
        std::fputs("\n", stderr);
    }
    if (!read)
        return std::nullopt;
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    return QString::fromStdString(line);
}

// Sets, changes or (with an empty new PIN) removes the owner's PIN; a PIN already set is asked for
// first. Returns the exit code.
int ownerPin()
{
    QTextStream err(stderr);
    try {
        if (OwnerPin::isSet()) {
            const std::optional<QString> old = readSecret("current owner's PIN: ");
            if (!old || !OwnerPin::check(*old, QStringLiteral("quorvel-setup --owner-pin"))) {
                err << "quorvel-setup: the owner's PIN is wrong; nothing was changed\n";
                return 1;
            }
        }
        const std::optional<QString> first = readSecret("new owner's PIN (empty removes it): ");
        const std::optional<QString> second = first ? readSecret("the new PIN again: ") : std::nullopt;
        if (!first || !second) {
            err << "quorvel-setup: no PIN was read; nothing was changed\n";
            return 1;
        }
        if (*first != *second) {
            err << "quorvel-setup: the two PINs differ; nothing was changed\n";
            return 1;
        }
        if (const std::optional<QString> problem = OwnerPin::change(*first))
            err << "quorvel-setup: " << *problem << "\n";
        QTextStream(stdout) << (first->isEmpty() ? "the owner's PIN is removed\n" : "the owner's PIN is set\n");
        return 0;
    } catch (const AppError& error) {
        err << "quorvel-setup: " << error.text() << "\n";
        return 1;
    }
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    Installer::Options options;
    options.programDir = QCoreApplication::applicationDirPath();
    bool pin = false;
    const QStringList args = app.arguments().mid(1);
    for (const QString& arg : args) {
        if (arg == QLatin1String("--demo")) {
            options.demo = true;
        } else if (arg == QLatin1String("--owner-pin")) {
            pin = true;
        } else if (arg == QLatin1String("--help") || arg == QLatin1String("-h")) {
            out << "usage: quorvel-setup [--demo] [--owner-pin]\n"
                   "Creates the install tree under the prefix (QUORVEL_PREFIX, else $XDG_DATA_HOME/quorvel,\n"
                   "else ~/.local/share/quorvel). --demo adds simulated stations and lists them in the roster.\n"
                   "Existing files are never overwritten.\n"
                   "--owner-pin then sets, changes or removes the owner's PIN, read from standard input (the\n"
                   "current one first when one is set; the new one twice; an empty one removes it).\n";
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
    if (!ok)
        return 1;
    return pin ? ownerPin() : 0;
}
