#pragma once

// For window tests only: the support library itself links no widgets.

#include "app/ui/Console.h"
#include "app/ui/MainWindow.h"
#include "app/ui/ModeChooser.h"
#include "app/ui/StationTools.h"
#include "install/InstallPaths.h"
#include "platform/Clock.h"
#include "platform/Regional.h"
#include "platform/ui/MessageBoxes.h"
#include "stations/ui/StationRow.h"
#include "support/TestPrefix.h"

#include <QComboBox>
#include <QDir>
#include <QPushButton>
#include <QRadioButton>
#include <QtTest>

#include <memory>

// The console in its main mode on an install with four simulated stations (PC0 to PC3 on rows 0
// to 3), the tariffs 0.5 and 0.25, the wall clock fixed at 2026-12-09 10:00:00 and the boot-time
// clock held, so that only the test moves the time; message boxes are recorded.
class ConsoleFixture
{
protected:
    void makeConsoleInstall()
    {
        m_prefix = std::make_unique<TestPrefix>();
        m_prefix->makeTables();
        m_prefix->writeFile(InstallPaths::TariffFile, "0.5\r\n0.25");
        m_prefix->writeFile(InstallPaths::InstallRoot + "\\commandServer\\ComputersConect.inf", "PC0\r\nPC1\r\nPC2\r\nPC3");
        for (const char* name : {"PC0", "PC1", "PC2", "PC3"})
            m_prefix->addStation(name);
        Regional::setOverride(Regional::Formats{"dd/MM/yyyy", "hh:mm:ss", '.'});
        Clock::setFixed(QDateTime(QDate(2026, 12, 9), QTime(10, 0, 0)));
        // The rows' own timers then take nothing between the test's ticks.
        Clock::holdMonotonicForTests(true);
        m_boxes.clear();
        MessageBoxes::setRecorderForTests([this](const MessageBoxes::Shown& box) { m_boxes.append(box); });
    }
    void closeConsoleInstall()
    {
        m_console.reset();
        MessageBoxes::setRecorderForTests({});
        Clock::setFixed({});
        Clock::holdMonotonicForTests(false);
        Regional::setOverride(std::nullopt);
        m_prefix.reset();
    }

    // A new console on the same install, as after a restart or a crash.
    void restartConsole(bool cardMode = false)
    {
        m_console.reset();
        m_console = std::make_unique<Console>();
        m_console->form6()->show();
        if (cardMode)
            m_console->form6()->BitBtn5Click();
        else
            m_console->form6()->BitBtn3Click();
    }

    StationRow& row(int i) { return m_console->form1()->row(i); }
    void open(int i, const QString& minutes, bool games = true)
    {
        row(i).minutesBox()->setCurrentText(minutes);
        (games ? row(i).gamesChoice() : row(i).internetChoice())->setChecked(true);
        QTest::mouseClick(row(i).openButton(), Qt::LeftButton);
    }
    void tick(int i, int count = 1)
    {
        // A second apart; each tick's write goes out from the station's thread, its outcome awaited.
        for (int n = 0; n < count; ++n) {
            Clock::advanceMonotonicForTests(1000);
            m_console->tools()->TimerTimer(i);
            m_console->tools()->settle(i);
        }
    }
    void setReachable(const QString& station, bool reachable)
    {
        const QString on = m_prefix->root() + "/unc/" + station;
        const QString off = m_prefix->root() + "/off-" + station;
        QVERIFY(reachable ? QDir().rename(off, on) : QDir().rename(on, off));
    }

    std::unique_ptr<TestPrefix> m_prefix;
    std::unique_ptr<Console> m_console;
    QList<MessageBoxes::Shown> m_boxes;
};
