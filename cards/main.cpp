#include "cards/ui/CardCreatorWindow.h"
#include "platform/ui/Application.h"

// The card creator program, started by the console as "Card.exe".
int main(int argc, char** argv)
{
    Application app(argc, argv, QStringLiteral("QuorvelServer"));
    if (!Application::codePageReady())
        return 1;
    app.setQuitOnLastWindowClosed(true);
    CardCreatorWindow form;
    form.show();
    return app.exec();
}
