#pragma once

#include "platform/ClockWatch.h"

#include <memory>

class ConsoleLock;
class QTimer;
class Ledger;
class ModeChooser;
class MainWindow;
class CardCreatorWindow;
class CardReportForm;
class StationTools;
class ControlWindow;

// The console's six windows, created in their fixed order and living as long as the process, and
// the ledger that the session commands bill into and the central control window shows.
class Console
{
public:
    Console();
    ~Console();

    ModeChooser* form6() const { return m_form6.get(); }
    MainWindow* form1() const { return m_form1.get(); }
    StationTools* tools() const { return m_tools.get(); }
    ControlWindow* control() const { return m_control.get(); }

    // The install's lock: a second start asks this console to come forward (its main window, or
    // the chooser while no mode is chosen), and a restart tells the new console to wait for this one.
    void setInstanceLock(ConsoleLock* lock);
    void comeForward();

    // Looks whether the wall clock jumped against the boot-time clock since the last jump (or the
    // start), and records it. Runs on a timer of its own every ClockCheckMs.
    void checkClock();
    static constexpr int ClockCheckMs = 10'000;

private:
    // First, so that it outlives the windows that show or bill into it.
    std::unique_ptr<Ledger> m_ledger;
    std::unique_ptr<ModeChooser> m_form6;
    std::unique_ptr<MainWindow> m_form1;
    std::unique_ptr<CardCreatorWindow> m_form2;
    std::unique_ptr<CardReportForm> m_form3;
    std::unique_ptr<StationTools> m_tools;
    std::unique_ptr<ControlWindow> m_control;
    ClockWatch m_clockWatch;
    std::unique_ptr<QTimer> m_clockTimer;
};
