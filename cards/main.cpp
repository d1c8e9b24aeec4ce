#include "cards/ui/TForm2.h"
#include "platform/ui/Application.h"

// The card creator program, started by the console as "Card.exe".
int main(int argc, char** argv)
{
    Application app(argc, argv, QStringLiteral("QuorvelServer"));
    if (!Application::codePageReady())
        return 1;
    app.setQuitOnLastWindowClosed(true);
    TForm2 form;
    form.show();
    return app.exec();
}
