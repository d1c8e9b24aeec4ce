#include "app/ui/Console.h"

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

Console::Console()
    : m_ledger(std::make_unique<Ledger>())
    , m_form6(std::make_unique<ModeChooser>())
    , m_form1(std::make_unique<MainWindow>())
    , m_form2(std::make_unique<CardCreatorWindow>())
    , m_form3(std::make_unique<CardReportForm>())
    , m_tools(std::make_unique<StationTools>())
    , m_control(std::make_unique<ControlWindow>(*m_ledger))
{
    // A shift left open by the last run goes on: its operator is named in every row from the first.
    if (const std::optional<QString> problem = Shifts::restoreOperator())
        Application::reportError(*problem);
    m_form6->setMainWindow(m_form1.get());
    m_form1->attach(m_form6.get(), m_tools.get(), m_control.get(), m_ledger.get());
    m_control->setMainForm(m_form6.get());
    // The sessions of the journal count from start-up, whether or not a mode is ever chosen.
    m_form1->resumeSessions();
}

void Console::setInstanceLock(ConsoleLock* lock)
{
    QObject::connect(lock, &ConsoleLock::showRequested, m_form1.get(), Guard::slot([this] { comeForward(); }));
    m_form1->setBeforeRestart([lock] { lock->stopListening(); });
}

void Console::comeForward()
{
    QWidget* window = m_form1->modeChosen() ? static_cast<QWidget*>(m_form1.get()) : static_cast<QWidget*>(m_form6.get());
    window->show();
    window->raise();
    window->activateWindow();
}

// Destroyed in the reverse order, the windows that others point to last.
Console::~Console() = default;
