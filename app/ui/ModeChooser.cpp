#include "app/ui/ModeChooser.h"

#include "app/ui/MainWindow.h"
#include "platform/ui/Guard.h"
#include "platform/ui/Widgets.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QFrame>

ModeChooser::ModeChooser(QWidget* parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("Form6"));
    Widgets::makeFixedDialogWindow(this, QStringLiteral("QuorvelServer"), 318, 130);

    QFrame* panel = Widgets::panel(this, QStringLiteral("Panel7"), {0, 0, 318, 130});

    Widgets::label(panel, QStringLiteral("Label28"), QStringLiteral("إختر نظام العمل ؟"), 227, 18);
    auto* central = Widgets::button(panel, QStringLiteral("BitBtn3"), QStringLiteral(" التحكم المركزي"), 213, 67, 92, 25);
    auto* card = Widgets::button(panel, QStringLiteral("BitBtn5"), QStringLiteral("البطاقة"), 19, 69, 78, 25);
    connect(central, &QPushButton::clicked, this, Guard::slot(this, &ModeChooser::BitBtn3Click));
    connect(card, &QPushButton::clicked, this, Guard::slot(this, &ModeChooser::BitBtn5Click));

    Widgets::centreOnScreen(this);
}

void ModeChooser::BitBtn3Click()
{
    hide();
    m_main->showConsole();
}

void ModeChooser::BitBtn5Click()
{
    hide();
    m_main->showConsole();
    m_main->hideCardModeSet();
}

void ModeChooser::closeEvent(QCloseEvent* event)
{
    event->accept();
    // The main form's closing ends the application once the current handler has returned. exit(),
    // not quit(): quit() would first ask every window to close, and one that refuses (the central
    // control window whose tariff file cannot be read) would keep this instance alive.
    QCoreApplication::exit(0);
}
