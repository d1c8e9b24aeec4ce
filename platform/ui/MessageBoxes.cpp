#include "platform/ui/MessageBoxes.h"

#include <QApplication>

namespace MessageBoxes {

namespace {

Recorder g_recorder;

void show(const Shown& box)
{
    if (g_recorder) {
        g_recorder(box);
        return;
    }
    QMessageBox message(box.icon, box.title, QString(), QMessageBox::Ok, QApplication::activeWindow());
    // Error texts carry file paths and table names, which are never to be read as markup.
    message.setTextFormat(Qt::PlainText);
    // A box is a window of its own and does not take the right-to-left layout of the one it
    // stands over; the system's texts read from the right.
    message.setLayoutDirection(Qt::RightToLeft);
    message.setText(box.text);
    message.setObjectName(box.icon == QMessageBox::Critical ? QStringLiteral("ErrorBox") : QStringLiteral("MessageBox"));
    message.exec();
}

QString applicationTitle()
{
    const QString name = QApplication::applicationName();
    return name.isEmpty() ? QStringLiteral("QuorvelServer") : name;
}

} // namespace

QString errorBoxText(const QString& text)
{
    if (text.isEmpty() || text.endsWith(QLatin1Char('.')))
        return text;
    return text + QLatin1Char('.');
}

void showError(const QString& text)
{
    show({QStringLiteral("QuorvelServer"), errorBoxText(text), QMessageBox::Critical});
}

void showMessage(const QString& text)
{
    show({applicationTitle(), text, QMessageBox::NoIcon});
}

void setRecorderForTests(Recorder recorder)
{
    g_recorder = std::move(recorder);
}

} // namespace MessageBoxes
