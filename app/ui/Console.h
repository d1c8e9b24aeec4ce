#pragma once

#include <memory>

class ConsoleLock;
class Ledger;
class TForm6;
class TForm1;
class TForm2;
class TForm3;
class TFormTools;
class TFormControl;

// The console's six windows, created in their fixed order and living as long as the process, and
// the ledger that the session commands bill into and the central control window shows.
class Console
{
public:
    Console();
    ~Console();

    TForm6* form6() const { return m_form6.get(); }
    TForm1* form1() const { return m_form1.get(); }
    TFormTools* tools() const { return m_tools.get(); }
    TFormControl* control() const { return m_control.get(); }

    // The install's lock: a second start asks this console to come forward (its main window, or
    // the chooser while no mode is chosen), and a restart lets the new console wait for the lock.
    void setInstanceLock(ConsoleLock* lock);
    void comeForward();

private:
    // First, so that it outlives the windows that show or bill into it.
    std::unique_ptr<Ledger> m_ledger;
    std::unique_ptr<TForm6> m_form6;
    std::unique_ptr<TForm1> m_form1;
    std::unique_ptr<TForm2> m_form2;
    std::unique_ptr<TForm3> m_form3;
    std::unique_ptr<TFormTools> m_tools;
    std::unique_ptr<TFormControl> m_control;
};
