#include "app/ui/Console.h"
#include "app/ui/TForm6.h"
#include "platform/ui/Application.h"

int main(int argc, char** argv)
{
    Application app(argc, argv, QStringLiteral("QuorvelServer"));
    if (!Application::codePageReady())
        return 1;
    Console console;
    console.form6()->show();
    return app.exec();
}
