#pragma once

#include "app/ui/StationTools.h"
#include "platform/files/LineBuffer.h"
#include "stations/ui/StationRow.h"

#include <QWidget>
#include <array>
#include <functional>
#include <optional>

class Ledger;
class QLabel;
class QPushButton;
class QFrame;
class ModeChooser;
class ControlWindow;
class StationTools;
class ShiftBar;

// The main window, the station console. Closing it only hides it; the process goes on.
class MainWindow final : public QWidget
{
    Q_OBJECT
public:
    explicit MainWindow(QWidget* parent = nullptr);

    // The windows it works with, and the ledger that sessions are billed into. The tools are
    // handed the rows, which their countdowns show on.
    void attach(ModeChooser* chooser, StationTools* tools, ControlWindow* control, Ledger* ledger);

    // At start-up, before a mode is chosen: reads the journal and, when it holds sessions, the
    // roster, then shows and probes the rows it names, so their sessions count on and the closes
    // that fell due are delivered even when nobody chooses a mode (a console started unattended).
    // Its errors are reported in the error box; the show tries again what failed.
    void resumeSessions();

    // Makes the window visible; the show sequence runs before this returns, and its errors are
    // reported in the error box without stopping the caller.
    void showConsole();
    // Hides what card mode does not use. Nothing shows it again while the process runs.
    void hideCardModeSet();

    // Whether a mode was chosen, so the main window has been shown.
    bool modeChosen() const { return m_modeChosen; }
    // Runs just before the refresh starts the new console.
    void setBeforeRestart(std::function<void()> beforeRestart) { m_beforeRestart = std::move(beforeRestart); }

    void FormShow();
    void BitBtn1Click(); // card creator
    void BitBtn4Click(); // central control window
    void BitBtn2Click(); // restart

    // Probes the row's station again; the roster is not read again.
    void BitBtnRefreshClick(int index);
    // The one-shot station commands: each raises one flag line of the station's command file.
    void BitBtnStopClick(int row);  // shut down
    void BitBtnExitClick(int row);  // log off
    void BitBtnCloseClick(int row); // close the protection program

    // Opens a timed session on the row: starts its countdown, raises the station's session flag
    // and bills the session into the ledger. A second press within RepeatWindowMs of an opening
    // that succeeded, with the same minutes and kind, is the same intention: it opens nothing.
    void BitBtnOpenClick(int index);
    static constexpr qint64 RepeatWindowMs = 2000;
    // Stops the row's time: the countdown ends and the station's session flag drops.
    void BitBtnTimeStopClick(int index);

    // Sets a row's lamp from the outcome of a write to its station. The command buttons keep
    // their state: only a probe disables or enables them.
    void setLamp(int index, bool reachable);

    // The show sequence's message naming the stations whose flag is raised with no session of
    // the console's; the names follow, one per line.
    static QString uncountedStationsMessage();

    // Escape in this window clicks a stop-time button (keyPressEvent).
    StationRow& row(int index) const { return *m_rows.at(index); }
    StationTools* tools() const { return m_tools; }
    ShiftBar* shiftBar() const { return m_shiftBar; }
    LineBuffer& rosterBuffer() { return m_rosterBuffer; }

protected:
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    ModeChooser* m_chooser = nullptr;
    StationTools* m_tools = nullptr;
    ControlWindow* m_control = nullptr;
    Ledger* m_ledger = nullptr;

    QFrame* m_panel2 = nullptr;
    ShiftBar* m_shiftBar = nullptr;
    QLabel* m_perMinuteCaption = nullptr;
    std::array<StationRow*, StationRow::Count> m_rows{};

    LineBuffer m_rosterBuffer{"Memo2\r\n"}; // the component Memo2
    // The roster line that the show sequence or a refresh has just read.
    QString m_currentStationName;
    bool m_modeChosen = false;
    // Read once per process: the roster (rows keep their stations however often the window shows)
    // and the journal.
    bool m_rosterRead = false;
    bool m_journalLoaded = false;
    // Each row's last opening that succeeded: when it was done (boot-time clock), its minutes and kind.
    struct LastOpening
    {
        qint64 doneAtMs = 0;
        QString minutes;
        bool games = true;
        bool valid = false;
    };
    std::array<LastOpening, StationRow::Count> m_lastOpening{};
    std::function<void()> m_beforeRestart;

    // The rows whose roster line holds a name; an empty line leaves its row hidden.
    QList<int> namedRows() const;
    // Shows the rows with their stations' names and probes the stations, all at once.
    std::array<std::optional<StationTools::Probe>, StationRow::Count> probeRows(const QList<int>& rows);
    // Sets the row from its probe and resumes or reports what the station's journal record and
    // command file hold.
    StationTools::Found fillRow(StationRow& row, const StationTools::Probe& probe);
    // Journal records of stations the roster does not name are closed on those stations and the
    // operator is told which; the rows given are the ones the roster names.
    void closeUnnamedStations(const QList<int>& named);
    void reportLogonRefusals();
    void sendStationCommand(int row, int line);
};
