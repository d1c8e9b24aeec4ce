#include "app/ui/TForm1.h"

#include "accounting/ui/TFormControl.h"
#include "app/InstallPaths.h"
#include "app/Settings.h"
#include "app/ui/TForm6.h"
#include "platform/AppError.h"
#include "platform/ShellLaunch.h"
#include "platform/ui/Application.h"
#include "platform/ui/Widgets.h"

#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QShowEvent>
#include <QStyle>

TForm1::TForm1(QWidget* parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("Form1"));
    Widgets::makeFixedDialogWindow(this, QStringLiteral("QuorvelServer"), 787, 528);
    setLayoutDirection(Qt::RightToLeft);
    setFont(QFont(QStringLiteral("MS Sans Serif"), 8));

    auto* cards = Widgets::button(this, QStringLiteral("BitBtn1"), QStringLiteral("منشئ البطاقات"), 669, 9, 111, 25);
    auto* control = Widgets::button(this, QStringLiteral("BitBtn4"), QStringLiteral("التحكم المركزي"), 578, 9, 84, 25);
    auto* refresh = Widgets::button(this, QStringLiteral("BitBtn2"), QStringLiteral("تحديث"), 497, 9, 75, 25);
    refresh->setIcon(style()->standardIcon(QStyle::SP_BrowserReload));
    connect(cards, &QPushButton::clicked, this, &TForm1::BitBtn1Click);
    connect(control, &QPushButton::clicked, this, &TForm1::BitBtn4Click);
    connect(refresh, &QPushButton::clicked, this, &TForm1::BitBtn2Click);

    m_panel2 = new QFrame(this);
    m_panel2->setObjectName(QStringLiteral("Panel2"));
    m_panel2->setFrameShape(QFrame::Panel);
    m_panel2->setFrameShadow(QFrame::Raised);
    m_panel2->setGeometry(6, 39, 774, 485);

    Widgets::label(m_panel2, QStringLiteral("Label5"), QStringLiteral("اسم الجهاز"), 694, 9);
    Widgets::label(m_panel2, QStringLiteral("Label6"), QStringLiteral("الحالة"), 612, 9);
    Widgets::label(m_panel2, QStringLiteral("Label10"), QStringLiteral("التحكم بالجهاز"), 482, 9);
    m_label8 = Widgets::label(m_panel2, QStringLiteral("Label8"), QStringLiteral("تشغيل/دقيقة"), 174, 9);

    Widgets::centreOnScreen(this);
}

void TForm1::attach(TForm6* chooser, TFormTools* tools, TFormControl* control)
{
    m_chooser = chooser;
    m_tools = tools;
    m_control = control;
}

void TForm1::showConsole()
{
    show();
}

void TForm1::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (event->spontaneous())
        return;
    try {
        FormShow();
    } catch (const AppError& e) {
        Application::reportError(e.text());
    }
}

void TForm1::FormShow()
{
    m_control->loadTariffs();
    Settings::loadRoster(m_memo2);
    // The station rows are filled from the roster here, row by row, each with its probe.
}

void TForm1::hideCardModeSet()
{
    m_label8->hide();
}

void TForm1::BitBtn1Click()
{
    ShellLaunch::open(InstallPaths::CardProgram, QString(), QString());
}

void TForm1::BitBtn4Click()
{
    m_control->openWindow();
}

void TForm1::BitBtn2Click()
{
    // Closing the main form ends this instance once the handler returns; the new one starts
    // from the chooser in the same current directory.
    m_chooser->close();
    ShellLaunch::restartSelf();
}
