#pragma once

#include "platform/LineBuffer.h"
#include "sessions/Countdown.h"
#include "sessions/SessionJournal.h"

#include <QWidget>
#include <array>

class QTimer;
class TForm1;

// The hidden tools window: twelve scratch line buffers for the command channel, the twelve
// one-second countdown timers with their countdowns, and the journal of the sessions they count.
// Never shown.
class TFormTools final : public QWidget
{
    Q_OBJECT
public:
    static constexpr int StationCount = 12;

    explicit TFormTools(QWidget* parent = nullptr);

    void setMainWindow(TForm1* mainWindow) { m_main = mainWindow; }

    // A station's countdown as its row shows it.
    const CountdownState& countdown(int index) const { return m_countdowns.at(index); }
    // Takes a countdown for the row: its captions, its timer (one that runs already keeps its
    // rhythm) and, when the sessions held changed, the journal.
    void setCountdown(int index, const CountdownState& state);

    // One tick of station index's timer.
    void TimerTimer(int index);

    // What the station's journal record and command file say of a row that a probe just found.
    enum class Found {
        Nothing,           // no session of the console's, and the station's flag is not raised
        Resumed,           // a session of the journal counts on (or is being closed) on this row
        OpenWithoutRecord, // the station's flag is "1" with no session of the console's
    };
    // Reads the journal again (the show sequence); stations no row holds keep their records.
    // Throws AppError when the journal cannot be read; it is then left alone until it can be.
    void loadJournal();
    // A row was shown and probed: a session it already counts is sent what it is owed at once; a
    // journal record of its station is resumed, even when the station did not answer, since its
    // customer's time runs. The station's command file is read only when it answered.
    Found stationProbed(int index, bool reachable);

    LineBuffer& memo(int index) { return m_memos.at(index); }
    QTimer* timer(int index) const { return m_timers.at(index); }

private:
    std::array<LineBuffer, StationCount> m_memos;
    std::array<QTimer*, StationCount> m_timers{};
    std::array<CountdownState, StationCount> m_countdowns{};
    TForm1* m_main = nullptr;

    // Records of stations that no row holds (gone from the roster, say), kept in the journal.
    QList<JournalRecord> m_unclaimed;
    QList<JournalRecord> m_saved;
    bool m_journalReadable = false;

    void showOnRow(int index);
    void syncJournal();
    QList<JournalRecord> journalRecords() const;
    bool rowHoldsStation(const QString& station) const;
};
