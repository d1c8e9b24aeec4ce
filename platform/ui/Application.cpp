#include "platform/ui/Application.h"

#include "platform/CodePage.h"
#include "platform/ui/Guard.h"
#include "platform/ui/MessageBoxes.h"

#include <QFont>

namespace {
bool g_inErrorBox = false;
QStringList g_pendingErrors;
} // namespace

Application::Application(int& argc, char** argv, const QString& title)
    : QApplication(argc, argv)
{
    // Only the name: a display name would be appended to every window's title.
    setApplicationName(title);
    // The chooser ends the program when it closes; the main window only hides.
    setQuitOnLastWindowClosed(false);
    installFontSubstitutes();
    // The windows are laid out in pixels for this face and size.
    setFont(QFont(QStringLiteral("MS Sans Serif"), 8));
}

bool Application::notify(QObject* receiver, QEvent* event)
{
    // The last safety net: every entry into our code is guarded itself (Guard), so reaching here
    // means an exception has already crossed Qt's frames, which Qt does not support.
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        Guard::reportCurrentException();
    }
    return false;
}

void Application::reportError(const QString& text)
{
    g_pendingErrors.append(text);
    // An error raised while the box is open (a timer keeps running under it) waits its turn
    // instead of stacking boxes.
    if (!g_inErrorBox)
        drainErrors();
}

bool Application::codePageReady()
{
    const std::optional<QString> problem = CodePage::converterProblem();
    if (!problem)
        return true;
    reportError(*problem);
    return false;
}

void Application::drainErrors()
{
    g_inErrorBox = true;
    while (!g_pendingErrors.isEmpty())
        MessageBoxes::showError(g_pendingErrors.takeFirst());
    g_inErrorBox = false;
}

void installFontSubstitutes()
{
    const QStringList fallbacks{QStringLiteral("DejaVu Sans"), QStringLiteral("Noto Sans Arabic"), QStringLiteral("Noto Sans")};
    QFont::insertSubstitutions(QStringLiteral("MS Sans Serif"), fallbacks);
    QFont::insertSubstitutions(QStringLiteral("Arial"), QStringList{QStringLiteral("Liberation Sans")} + fallbacks);
}
