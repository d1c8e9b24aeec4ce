#pragma once

#include <QApplication>
#include <QStringList>

// The application object: every error that escapes an event handler ends up in the error box
// instead of ending the process.
class Application : public QApplication
{
    Q_OBJECT
public:
    Application(int& argc, char** argv, const QString& title);

    bool notify(QObject* receiver, QEvent* event) override;

    // Shows the error box now, or after the one already open.
    static void reportError(const QString& text);

    // Checks the Arabic code page converter; when it is missing, says so in the error box and
    // returns false, and the program ends before anything is read or written.
    static bool codePageReady();

private:
    static void drainErrors();
};

// Fonts named by the windows that this machine may lack fall back to ones with Arabic letters.
void installFontSubstitutes();
