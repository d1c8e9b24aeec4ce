#include "cards/ui/CardCreatorWindow.h"
#include "install/ui/InstallOffer.h"
#include "platform/ui/Application.h"

// The card creator program, started by the console as "Card.exe".
int main(int argc, char** argv)
{
    Application app(argc, argv, QStringLiteral("QuorvelServer"));
    if (!Application::codePageReady())
        return 1;
    // Started from the menu or another folder, the program works from its install all the same.
    if (!enterInstallOrOffer(QCoreApplication::applicationDirPath()))
        return 1;
    app.setQuitOnLastWindowClosed(true);
    CardCreatorWindow form;
    form.show();
    return app.exec();
}
