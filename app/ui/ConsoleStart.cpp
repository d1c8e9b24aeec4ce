#include "app/ui/ConsoleStart.h"

#include "app/ConsoleLock.h"
#include "app/ui/Console.h"
#include "app/ui/ModeChooser.h"
#include "platform/ui/Application.h"
#include "platform/ui/Guard.h"
#include "platform/ui/MessageBoxes.h"

#include <QMessageBox>
#include <QPushButton>

namespace {

bool takeOverAsked(const QString& text)
{
    QMessageBox box(QMessageBox::Warning, QStringLiteral("QuorvelServer"), text);
    box.setObjectName(QStringLiteral("ForeignLockBox"));
    box.setTextFormat(Qt::PlainText);
    box.setLayoutDirection(Qt::RightToLeft);
    QPushButton* take = box.addButton(QStringLiteral("الاستيلاء على القفل"), QMessageBox::AcceptRole);
    take->setObjectName(QStringLiteral("TakeOver"));
    QPushButton* leave = box.addButton(QStringLiteral("خروج"), QMessageBox::RejectRole);
    leave->setObjectName(QStringLiteral("Leave"));
    box.setDefaultButton(take);
    box.setEscapeButton(leave);
    box.exec();
    return box.clickedButton() == take;
}

} // namespace

bool ConsoleStart::admit(ConsoleLock& lock, int& exitCode)
{
    ConsoleLock::Start start = lock.acquire();
    for (;;) {
        switch (start) {
        case ConsoleLock::Start::Acquired:
            return true;
        case ConsoleLock::Start::Unlocked:
            MessageBoxes::showMessage(lock.unlockedText());
            return true;
        case ConsoleLock::Start::HandedOver:
            exitCode = 0;
            return false;
        case ConsoleLock::Start::Busy:
            Application::reportError(lock.busyText());
            exitCode = 1;
            return false;
        case ConsoleLock::Start::Foreign:
            if (!takeOverAsked(lock.foreignText())) {
                exitCode = 1;
                return false;
            }
            start = lock.takeOver();
            break;
        }
    }
}

int ConsoleStart::run(const std::optional<QString>& lockPath)
{
    // Declared first: the windows end, and the stations let go, before the lock does.
    ConsoleLock lock(lockPath);
    int exitCode = 0;
    if (!admit(lock, exitCode))
        return exitCode;
    Console console;
    console.setInstanceLock(&lock);
    // From the moment the loop ends, a start waits for this console to let go.
    QObject::connect(qApp, &QCoreApplication::aboutToQuit, &lock, Guard::slot([&lock] { lock.announceEnding(); }));
    console.form6()->show();
    return QCoreApplication::exec();
}
