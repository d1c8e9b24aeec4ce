#pragma once

#include "app/SleepInhibitor.h"
#include "install/Audit.h"
#include "platform/files/LineBuffer.h"
#include "sessions/Countdown.h"
#include "sessions/SessionJournal.h"
#include "stations/StationIo.h"

#include <QWidget>
#include <array>
#include <functional>
#include <map>
#include <optional>

class QTimer;
class StationRow;

// The hidden tools window: twelve scratch line buffers for the command channel, the twelve
// one-second countdown timers with their countdowns, each station's own thread for what reaches
// it, and the journal of the sessions they count. Never shown. It works on the main window's
// station rows, which that window hands it, and knows nothing else of that window.
class StationTools final : public QWidget
{
    Q_OBJECT
public:
    static constexpr int StationCount = 12;

    explicit StationTools(QWidget* parent = nullptr);
    // Waits (bounded) for the writes on their way to the stations, a closing "0" among them.
    ~StationTools() override;

    // The rows the countdowns show on. A row's station is its name caption as it stands, so a
    // roster read again reaches the ticks, the probes and the journal at once.
    void setRows(const std::array<StationRow*, StationCount>& rows) { m_rows = rows; }

    // A station's countdown as its row shows it.
    const CountdownState& countdown(int index) const { return m_countdowns.at(index); }
    // Takes a countdown for the row: its captions, its timer (one that runs already keeps its
    // rhythm) and, when the sessions held changed, the journal.
    void setCountdown(int index, const CountdownState& state);

    // One tick of station index's timer: the count goes on here, and what the station is owed is
    // sent from its own thread; the lamp follows when the outcome comes back.
    void TimerTimer(int index);

    // What a probe of a row's station found: whether it answered, and its command file when that
    // could be read too and the row will look at it.
    struct Probe
    {
        bool reachable = false;
        std::optional<LineBuffer> commandFile;
    };
    // Probes the station from its own thread (the job returns at once; done gets the result).
    void probe(int index, const QString& station, std::function<void(const Probe&)> done);

    // Runs a job on the row's station thread and waits for it (operator commands).
    StationRunner runner(int index);
    // While an operator's command on the row waits for its station, the row's ticks leave its
    // countdown to the command; the seconds are made up afterwards, being measured.
    class RowCommand
    {
    public:
        RowCommand(StationTools& tools, int index);
        ~RowCommand();
        RowCommand(const RowCommand&) = delete;
        RowCommand& operator=(const RowCommand&) = delete;

    private:
        StationTools& m_tools;
        int m_index;
    };
    // Waits until everything given to the row's station so far has run and come back (tests).
    void settle(int index);

    // What the station's journal record and command file say of a row that a probe just found.
    enum class Found {
        Nothing,           // no session of the console's, and the station's flag is not raised
        Resumed,           // a session of the journal counts on (or is being closed) on this row
        OpenWithoutRecord, // the station's flag is "1" with no session of the console's
    };
    // Reads the journal; stations no row holds keep their records. A journal that cannot be read
    // is moved aside and a new one started, so this run's sessions are kept; the error box says
    // why and where it went. False when it could not even be moved: it is then left alone, and
    // nothing is journaled until it can be read.
    bool loadJournal();
    // The journal holds sessions that no row counts yet.
    bool holdsUnclaimedRecords() const { return !m_unclaimed.isEmpty(); }
    // A row was shown and probed: a session it already counts is sent what it is owed at once; a
    // journal record of its station is resumed, even when the station did not answer, since its
    // customer's time runs. The station's command file is read only when it answered; a flag
    // found down there means the session was stopped, and its record is dropped, not resumed.
    Found stationProbed(int index, const Probe& probe);

    // The roster was read: journal records of stations it does not name have no row to count
    // them, so each such station is sent its "0" (on its own thread, again every few seconds
    // until it answers) and its record is then dropped. Returns the names newly found so.
    QStringList closeUnnamed(const QStringList& rosterNames);
    // Journal records whose station no row names and whose "0" is still on its way.
    const QList<JournalRecord>& unnamedRecords() const { return m_unnamed; }
    // The message that names those stations; the names follow, one per line.
    static QString unnamedStationsMessage();

    // Tries again what is owed outside the rows: a journal save that failed, and the "0" of the
    // stations no row names. Runs every few seconds while anything is owed.
    void retryOwed();
    QTimer* retryTimer() const { return m_retry; }

    // The row's station took a command: what it is still owed is sent now, whatever the backoff.
    void stationAnswered(int index);

    // Appends the event to the audit record; a row that cannot be written is told in the error box.
    static void recordAudit(const Audit::Event& event);

    // The two displays while a session's closing "0" is still owed: not the "--" of a closed one.
    static QString owedCloseCaption();
    static QString owedCloseHeading();

    LineBuffer& memo(int index) { return m_memos.at(index); }
    QTimer* timer(int index) const { return m_timers.at(index); }

private:
    std::array<LineBuffer, StationCount> m_memos;
    std::array<QTimer*, StationCount> m_timers{};
    std::array<CountdownState, StationCount> m_countdowns{};
    // One thread per station, whatever the number of rows that name it: two rows of one station
    // never work on its file at the same time. Keyed by the name regardless of case, as Windows
    // names hosts.
    std::map<QString, StationIo*> m_ioByName;
    std::array<bool, StationCount> m_commandRunning{};
    std::array<StationRow*, StationCount> m_rows{};

    // Records of stations that no row holds yet, kept in the journal.
    QList<JournalRecord> m_unclaimed;
    // Records of stations the roster does not name: owed their "0", kept until it is written.
    QList<JournalRecord> m_unnamed;
    QList<JournalRecord> m_saved;
    // The last save failed (and was reported): it is tried again until it succeeds.
    bool m_saveFailing = false;
    QTimer* m_retry = nullptr;
    // Held while any row's session counts.
    SleepInhibitor m_sleep;
    bool m_journalReadable = false;

    StationIo* io(int index);
    StationIo* ioFor(const QString& station);
    void sendUnnamedZeros();
    void recordDropped(const QString& station, const QString& why);
    void showOnRow(int index);
    void sendDue(int index, bool insist = false);
    void syncJournal();
    QList<JournalRecord> journalRecords() const;
    bool rowHoldsStation(const QString& station) const;
};
