#include "app/ui/Console.h"

#include "app/ConsoleLock.h"

#include "accounting/Ledger.h"
#include "accounting/ui/TFormControl.h"
#include "app/ui/TForm1.h"
#include "app/ui/TForm6.h"
#include "app/ui/TFormTools.h"
#include "cards/ui/TForm2.h"
#include "cards/ui/TForm3.h"
#include "platform/ui/Guard.h"

Console::Console()
    : m_ledger(std::make_unique<Ledger>())
    , m_form6(std::make_unique<TForm6>())
    , m_form1(std::make_unique<TForm1>())
    , m_form2(std::make_unique<TForm2>())
    , m_form3(std::make_unique<TForm3>())
    , m_tools(std::make_unique<TFormTools>())
    , m_control(std::make_unique<TFormControl>(*m_ledger))
{
    m_form6->setMainWindow(m_form1.get());
    m_form1->attach(m_form6.get(), m_tools.get(), m_control.get(), m_ledger.get());
    m_control->setMainForm(m_form6.get());
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
