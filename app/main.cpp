#include "app/ConsoleLock.h"
#include "app/ui/ConsoleStart.h"
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
    return ConsoleStart::run(ConsoleLock::installLockPath());
}
