#include "app/ui/Console.h"

#include "app/ConsoleAudit.h"
#include "app/ConsoleLock.h"

#include "accounting/Ledger.h"
#include "accounting/Shifts.h"
#include "accounting/ui/ControlWindow.h"
#include "app/ui/MainWindow.h"
#include "app/ui/ModeChooser.h"
#include "app/ui/StationTools.h"
#include "cards/ui/CardCreatorWindow.h"
#include "cards/ui/CardReportForm.h"
#include "platform/ui/Application.h"
#include "platform/ui/Guard.h"

#include <QTimer>

Console::Console()
    : m_ledger(std::make_unique<Ledger>())
    , m_form6(std::make_unique<ModeChooser>())
    , m_form1(std::make_unique<MainWindow>())
    , m_form2(std::make_unique<CardCreatorWindow>())
    , m_form3(std::make_unique<CardReportForm>())
    , m_tools(std::make_unique<StationTools>())
    , m_control(std::make_unique<ControlWindow>(*m_ledger))
    , m_clockTimer(std::make_unique<QTimer>())
{
    // A shift left open by the last run goes on: its operator is named in every row from the first, the start's own included.
    if (const std::optional<QString> problem = Shifts::restoreOperator())
        Application::reportError(*problem);
    // First, so that the sessions resumed below follow the start in the record.
    if (const std::optional<QString> problem = ConsoleAudit::recordStart())
        Application::reportError(*problem);
    m_clockTimer->setInterval(ClockCheckMs);
    QObject::connect(m_clockTimer.get(), &QTimer::timeout, m_clockTimer.get(), Guard::slot([this] { checkClock(); }));
    m_clockTimer->start();
    m_form6->setMainWindow(m_form1.get());
    m_form1->attach(m_form6.get(), m_tools.get(), m_control.get(), m_ledger.get());
    m_control->setMainForm(m_form6.get());
    // The sessions of the journal count from start-up, whether or not a mode is ever chosen.
    m_form1->resumeSessions();
}

void Console::setInstanceLock(ConsoleLock* lock)
{
    QObject::connect(lock, &ConsoleLock::showRequested, m_form1.get(), Guard::slot([this] { comeForward(); }));
    m_form1->setBeforeRestart([lock] { lock->announceEnding(); });
}

void Console::comeForward()
{
    QWidget* window = m_form1->modeChosen() ? static_cast<QWidget*>(m_form1.get()) : static_cast<QWidget*>(m_form6.get());
    window->show();
    window->raise();
    window->activateWindow();
}

void Console::checkClock()
{
    if (const std::optional<ClockWatch::Jump> jump = m_clockWatch.check())
        StationTools::recordAudit(ConsoleAudit::clockJump(*jump));
}

// Destroyed in the reverse order, the windows that others point to last.
Console::~Console()
{
    int counting = 0;
    for (int i = 0; i < StationTools::StationCount; ++i)
        counting += m_tools->countdown(i).holdsSession() ? 1 : 0;
    // Nobody is left to read an error box: a missing exit shows at the next start all the same.
    ConsoleAudit::recordExit(counting);
}
