#include "app/ui/TFormTools.h"

#include "app/ui/TForm1.h"
#include "platform/AppError.h"
#include "platform/Clock.h"
#include "platform/ui/Application.h"
#include "platform/ui/Guard.h"
#include "platform/ui/Widgets.h"
#include "sessions/SessionSteps.h"
#include "stations/CommandChannel.h"
#include "stations/ui/StationRow.h"

#include <QLabel>
#include <QTimer>

TFormTools::TFormTools(QWidget* parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("FormTools"));
    for (int i = 0; i < StationCount; ++i) {
        m_timers[i] = new QTimer(this);
        m_timers[i]->setObjectName(QStringLiteral("Timer%1").arg(i));
        m_timers[i]->setInterval(1000);
        // Coarse timers would let a tick drift by up to 5 %; a tick stands for one second.
        m_timers[i]->setTimerType(Qt::PreciseTimer);
        connect(m_timers[i], &QTimer::timeout, this, Guard::slot([this, i] { TimerTimer(i); }));
    }
}

void TFormTools::showOnRow(int index)
{
    const CountdownState& state = m_countdowns.at(index);
    const StationRow& row = m_main->row(index);
    Widgets::setCaption(row.minutesDisplay(), state.minutes);
    Widgets::setCaption(row.secondsDisplay(), state.seconds);
    QTimer* timer = m_timers.at(index);
    if (!state.timerEnabled)
        timer->stop();
    else if (!timer->isActive())
        timer->start();
}

void TFormTools::setCountdown(int index, const CountdownState& state)
{
    CountdownState& held = m_countdowns.at(index);
    // Only a session that begins, ends or comes to owe its "0" changes the journal, never a tick.
    const bool journalChanges = held.holdsSession() != state.holdsSession() || held.owesZero() != state.owesZero()
        || held.paidEndUtc != state.paidEndUtc;
    held = state;
    showOnRow(index);
    if (journalChanges)
        syncJournal();
}

void TFormTools::TimerTimer(int index)
{
    CountdownState state = m_countdowns.at(index);
    const Countdown::Outcome outcome = SessionSteps::tick(state, m_memos.at(index), m_main->row(index).stationName());
    setCountdown(index, state);
    if (outcome != Countdown::Outcome::Waiting)
        m_main->setLamp(index, outcome == Countdown::Outcome::Written);
}

bool TFormTools::rowHoldsStation(const QString& station) const
{
    for (int i = 0; i < StationCount; ++i) {
        if (m_countdowns[i].holdsSession() && m_main->row(i).stationName() == station)
            return true;
    }
    return false;
}

QList<JournalRecord> TFormTools::journalRecords() const
{
    QList<JournalRecord> records;
    for (int i = 0; i < StationCount; ++i) {
        const CountdownState& state = m_countdowns[i];
        if (state.holdsSession())
            records.append({m_main->row(i).stationName(), state.paidEndUtc, state.minutesOpened, state.owesZero()});
    }
    for (const JournalRecord& record : m_unclaimed) {
        if (!rowHoldsStation(record.station))
            records.append(record);
    }
    return records;
}

void TFormTools::syncJournal()
{
    // A journal that could not be read is left as it is rather than replaced by what this
    // console happens to know.
    if (!m_journalReadable)
        return;
    const QList<JournalRecord> records = journalRecords();
    if (records == m_saved)
        return;
    // Taken as saved even when the save fails, so that a full disk is reported once per change
    // and not on every tick.
    m_saved = records;
    try {
        SessionJournal::save(records);
    } catch (const AppError& e) {
        Application::reportError(e.text());
    }
}

void TFormTools::loadJournal()
{
    const QList<JournalRecord> records = SessionJournal::load();
    m_unclaimed.clear();
    for (const JournalRecord& record : records) {
        if (!rowHoldsStation(record.station))
            m_unclaimed.append(record);
    }
    m_saved = records;
    m_journalReadable = true;
}

TFormTools::Found TFormTools::stationProbed(int index, bool reachable)
{
    const QString station = m_main->row(index).stationName();
    CountdownState state = m_countdowns.at(index);
    if (state.holdsSession()) {
        if (reachable) {
            const Countdown::Outcome outcome = Countdown::deliver(state, m_memos.at(index), station);
            setCountdown(index, state);
            m_main->setLamp(index, outcome == Countdown::Outcome::Written);
        }
        return Found::Resumed;
    }

    // The same station on an earlier row of the roster: that row counts it.
    if (rowHoldsStation(station))
        return Found::Nothing;

    // The station's own file, read once: its flag, and counters that may show less time left
    // than the journal (a clock moved, a file edited by hand never adds time).
    std::optional<LineBuffer> file;
    if (reachable) {
        try {
            LineBuffer& scratch = m_memos.at(index);
            scratch.load(CommandChannel::commandFilePath(station));
            file = scratch;
        } catch (const AppError&) {
        }
    }

    const auto record = std::find_if(m_unclaimed.begin(), m_unclaimed.end(),
                                     [&](const JournalRecord& r) { return r.station == station; });
    if (record == m_unclaimed.end()) {
        const bool flagRaised = file && file->line(CommandChannel::SessionFlagLine) == QStringLiteral("1");
        return flagRaised ? Found::OpenWithoutRecord : Found::Nothing;
    }

    const JournalRecord claimed = *record;
    m_unclaimed.erase(record);
    qint64 left = Clock::now().toUTC().secsTo(claimed.paidEndUtc);
    if (file) {
        if (const auto fileLeft = Countdown::remainingSeconds(file->line(CommandChannel::MinutesLine),
                                                              file->line(CommandChannel::SecondsLine)))
            left = std::min(left, *fileLeft);
    }
    if (!claimed.owesZero && left > 0) {
        Countdown::resume(state, left, claimed.minutes, claimed.paidEndUtc);
        setCountdown(index, state);
        return Found::Resumed;
    }
    Countdown::endUnattended(state, claimed.owesZero, claimed.minutes, claimed.paidEndUtc);
    const Countdown::Outcome outcome = reachable ? Countdown::deliver(state, m_memos.at(index), station)
                                                 : Countdown::Outcome::Failed;
    setCountdown(index, state);
    m_main->setLamp(index, outcome == Countdown::Outcome::Written);
    return Found::Resumed;
}
