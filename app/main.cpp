#include "app/ConsoleLock.h"
#include "app/ui/Console.h"
#include "app/ui/ModeChooser.h"
#include "install/ui/InstallOffer.h"
#include "platform/ui/Application.h"

int main(int argc, char** argv)
{
    Application app(argc, argv, QStringLiteral("QuorvelServer"));
    if (!Application::codePageReady())
        return 1;
    // Started from the menu or another folder, the program works from its install all the same.
    if (!enterInstallOrOffer(QCoreApplication::applicationDirPath()))
        return 1;
    ConsoleLock lock(ConsoleLock::installLockPath());
    switch (lock.acquire()) {
    case ConsoleLock::Start::HandedOver:
        return 0;
    case ConsoleLock::Start::Busy:
        Application::reportError(ConsoleLock::busyMessage());
        return 1;
    case ConsoleLock::Start::Acquired:
    case ConsoleLock::Start::NoPlace:
        break;
    }
    Console console;
    console.setInstanceLock(&lock);
    console.form6()->show();
    return app.exec();
}
