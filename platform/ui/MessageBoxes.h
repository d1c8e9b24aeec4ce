#pragma once

#include <QMessageBox>
#include <QString>
#include <functional>

// The two kinds of box the system shows: the application's error box and the plain message box.
namespace MessageBoxes {

struct Shown
{
    QString title;
    QString text;
    QMessageBox::Icon icon;
};

// Title "QuorvelServer", error icon, OK; a full stop is added when the text lacks one.
void showError(const QString& text);
// A plain box with an OK button, titled with the application title.
void showMessage(const QString& text);

// The text as the error box shows it.
QString errorBoxText(const QString& text);

// While a recorder is set, boxes are handed to it instead of being shown (tests).
using Recorder = std::function<void(const Shown&)>;
void setRecorderForTests(Recorder recorder);

} // namespace MessageBoxes
