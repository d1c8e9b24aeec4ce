#include "app/ui/StationTools.h"

#include "install/Audit.h"
#include "platform/AppError.h"
#include "platform/Clock.h"
#include "platform/files/SmbAgent.h"
#include "platform/ui/Application.h"
#include "platform/ui/Guard.h"
#include "platform/ui/Widgets.h"
#include "sessions/SessionAudit.h"
#include "sessions/SessionSteps.h"
#include "stations/CommandChannel.h"
#include "stations/ui/StationRow.h"

#include <QTimer>

#include <algorithm>
#include <memory>

namespace {
// What is owed outside the rows is tried again as often as an owed "0" is.
constexpr int RetryOwedMs = 5000;
} // namespace

StationTools::StationTools(QWidget* parent)
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
    m_retry = new QTimer(this);
    m_retry->setObjectName(QStringLiteral("RetryTimer"));
    m_retry->setInterval(RetryOwedMs);
    connect(m_retry, &QTimer::timeout, this, Guard::slot([this] { retryOwed(); }));
}

namespace {
// However many stations hang, closing waits this long in all for the writes on their way.
constexpr int FinishAllMs = 3000;
} // namespace

StationTools::~StationTools()
{
    // All at once, against one deadline: a second hung station costs no more than the first.
    const QDeadlineTimer deadline(FinishAllMs);
    for (auto& [name, io] : m_ioByName)
        io->finish(deadline);
    // Before the buffers their jobs write through go.
    for (auto& [name, io] : m_ioByName) {
        delete io;
        io = nullptr;
    }
    // The stations' agents end with them, also one that never said a word.
    SmbAgent::endAll();
}

StationIo* StationTools::io(int index)
{
    return ioFor(m_rows.at(index)->stationName());
}

StationIo* StationTools::ioFor(const QString& station)
{
    StationIo*& io = m_ioByName[station.toLower()];
    if (!io)
        io = new StationIo(this);
    return io;
}

StationRunner StationTools::runner(int index)
{
    StationIo* station = io(index);
    return [station](const std::function<void()>& job) { station->run(job); };
}

StationTools::RowCommand::RowCommand(StationTools& tools, int index)
    : m_tools(tools)
    , m_index(index)
{
    m_tools.m_commandRunning.at(index) = true;
}

StationTools::RowCommand::~RowCommand()
{
    m_tools.m_commandRunning.at(m_index) = false;
}

void StationTools::settle(int index)
{
    io(index)->run([] {});
}

void StationTools::probe(int index, const QString& station, std::function<void(const Probe&)> done)
{
    auto found = std::make_shared<Probe>();
    // A row that counts a session, or whose station another row counts, does not look at the file.
    const bool wantFile = !m_countdowns.at(index).holdsSession() && !rowHoldsStation(station);
    io(index)->post(
        [station, found, wantFile] {
            LineBuffer probeFile;
            // Whatever went wrong, the station cannot be worked with; the lamp is the whole report.
            try {
                StationProbe(probeFile, station);
                found->reachable = true;
            } catch (...) {
                return;
            }
            if (!wantFile)
                return;
            // Read at once too: its flag and counters tell whether a session is left open.
            try {
                LineBuffer file;
                file.load(CommandChannel::commandFilePath(station));
                found->commandFile = file;
            } catch (...) {
            }
        },
        [found, done = std::move(done)](std::exception_ptr) { Guard::run([&] { done(*found); }); });
}

void StationTools::showOnRow(int index)
{
    const CountdownState& state = m_countdowns.at(index);
    StationRow& row = *m_rows.at(index);
    // A station left open because it has not taken its "0" must not look closed to the operator.
    const bool owed = state.owesZero() && !state.counting;
    row.showTime(owed ? owedCloseCaption() : state.minutes, owed ? owedCloseCaption() : state.seconds);
    Widgets::setCaption(row.remainingCaption(), owed ? owedCloseHeading() : QStringLiteral("الوقت المتبقي"));
    QTimer* timer = m_timers.at(index);
    if (!state.timerEnabled)
        timer->stop();
    else if (!timer->isActive())
        timer->start();
}

void StationTools::setCountdown(int index, const CountdownState& state)
{
    CountdownState& held = m_countdowns.at(index);
    // Only a session that begins, ends or comes to owe its "0" changes the journal, never a tick.
    const bool journalChanges = held.holdsSession() != state.holdsSession() || held.owesZero() != state.owesZero()
        || held.paidEndUtc != state.paidEndUtc || held.openedAtMs != state.openedAtMs
        || (state.holdsSession() && held.countersWritten != state.countersWritten);
    held = state;
    showOnRow(index);
    m_sleep.setHeld(std::any_of(m_countdowns.begin(), m_countdowns.end(), [](const CountdownState& c) { return c.counting; }));
    if (journalChanges)
        syncJournal();
}

void StationTools::TimerTimer(int index)
{
    if (m_commandRunning.at(index))
        return;
    CountdownState state = m_countdowns.at(index);
    try {
        Countdown::advance(state);
    } catch (const AppError&) {
        // Captions that are no longer a count cannot be counted on; the red lamp is the report.
        state.counting = false;
        state.timerEnabled = state.pending != CountdownState::Pending::None;
        setCountdown(index, state);
        m_rows.at(index)->setLamp(false);
        return;
    }
    setCountdown(index, state);
    sendDue(index);
}

QString StationTools::owedCloseCaption()
{
    return QStringLiteral("…");
}

QString StationTools::owedCloseHeading()
{
    return QStringLiteral("إغلاق معلق");
}

void StationTools::recordAudit(const Audit::Event& event)
{
    if (const std::optional<QString> problem = Audit::record(event))
        Application::reportError(*problem);
}

void StationTools::stationAnswered(int index)
{
    sendDue(index, true);
}

void StationTools::sendDue(int index, bool insist)
{
    // One write on its way per station: a station that is slow to answer gets the newest counters
    // once it has, not a queue of old ones.
    if (io(index)->inFlight() > 0 || m_commandRunning.at(index))
        return;
    const std::optional<Countdown::Delivery> due = Countdown::due(m_countdowns.at(index), insist);
    if (!due)
        return;
    const QString station = m_rows.at(index)->stationName();
    LineBuffer* scratch = &m_memos.at(index);
    auto sent = std::make_shared<Countdown::Sent>();
    io(index)->post([delivery = *due, scratch, station, sent] { Countdown::send(delivery, *scratch, station, *sent); },
                    [this, index, station, delivery = *due, sent](std::exception_ptr error) {
                        Guard::run([&] {
                            CountdownState state = m_countdowns.at(index);
                            const bool held = state.holdsSession();
                            const Countdown::Outcome outcome = Countdown::delivered(state, delivery, error, *sent);
                            if (const auto closed = SessionAudit::closed(station, m_countdowns.at(index), state))
                                recordAudit(*closed);
                            setCountdown(index, state);
                            if (sent->flagDown && held && !state.holdsSession())
                                recordDropped(m_rows.at(index)->stationName(),
                                              QStringLiteral("علم الجلسة \"0\" في ملف الجهاز عند أول اتصال بعد الاستئناف"));
                            m_rows.at(index)->setLamp(outcome == Countdown::Outcome::Written);
                            sendDue(index);
                        });
                    });
}

bool StationTools::rowHoldsStation(const QString& station) const
{
    for (int i = 0; i < StationCount; ++i) {
        if (m_countdowns[i].holdsSession() && m_rows[i]->stationName().compare(station, Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

QList<JournalRecord> StationTools::journalRecords() const
{
    QList<JournalRecord> records;
    for (int i = 0; i < StationCount; ++i) {
        const CountdownState& state = m_countdowns[i];
        if (state.holdsSession())
            records.append({m_rows[i]->stationName(), state.paidEndUtc, state.minutesOpened, state.owesZero(), Clock::bootId(),
                            state.openedAtMs, state.countersWritten});
    }
    for (const JournalRecord& record : m_unclaimed) {
        if (!rowHoldsStation(record.station))
            records.append(record);
    }
    return records + m_unnamed;
}

void StationTools::syncJournal()
{
    // A journal that could not be read is left as it is rather than replaced by what this
    // console happens to know.
    if (!m_journalReadable)
        return;
    const QList<JournalRecord> records = journalRecords();
    if (records == m_saved)
        return;
    try {
        SessionJournal::save(records);
    } catch (const AppError& e) {
        // A stop that is not saved would come back as a running session after a restart: the
        // save is tried again until it succeeds, and the operator is told once, not every time.
        if (!m_saveFailing)
            Application::reportError(e.text());
        m_saveFailing = true;
        m_retry->start();
        return;
    }
    m_saved = records;
    m_saveFailing = false;
}

void StationTools::retryOwed()
{
    if (m_saveFailing)
        syncJournal();
    sendUnnamedZeros();
    if (!m_saveFailing && m_unnamed.isEmpty())
        m_retry->stop();
}

void StationTools::recordDropped(const QString& station, const QString& why)
{
    if (const std::optional<QString> problem = Audit::record({Audit::Events::RecordDropped, station, {}, {}, {}, {}, {}, why}))
        Application::reportError(*problem);
}

QString StationTools::unnamedStationsMessage()
{
    return QStringLiteral("سجل الجلسات يذكر أجهزة ليست في قائمة الأجهزة، فلا يُحسب وقتها. "
                          "يُرسل إليها إيقاف الجلسة حين تستجيب، ثم تُحذف من السجل:");
}

QStringList StationTools::closeUnnamed(const QStringList& rosterNames)
{
    QStringList found;
    for (auto record = m_unclaimed.begin(); record != m_unclaimed.end();) {
        const bool named = rosterNames.contains(record->station, Qt::CaseInsensitive);
        if (named) {
            ++record;
            continue;
        }
        // Owed its "0" from now on, in the journal too: a later console whose roster names the
        // station again closes it rather than counting on.
        JournalRecord owed = *record;
        owed.owesZero = true;
        m_unnamed.append(owed);
        found.append(owed.station);
        record = m_unclaimed.erase(record);
    }
    if (!found.isEmpty()) {
        syncJournal();
        sendUnnamedZeros();
        m_retry->start();
    }
    return found;
}

void StationTools::sendUnnamedZeros()
{
    for (const JournalRecord& record : std::as_const(m_unnamed)) {
        StationIo* station = ioFor(record.station);
        if (station->inFlight() > 0)
            continue;
        station->post(
            [name = record.station] {
                LineBuffer scratch;
                CommandWrite(scratch, name, CommandChannel::SessionFlagLine, QStringLiteral("0"));
            },
            [this, name = record.station](std::exception_ptr error) {
                Guard::run([&] {
                    if (error)
                        return;
                    m_unnamed.removeIf([&](const JournalRecord& r) { return r.station == name; });
                    syncJournal();
                    recordDropped(name, QStringLiteral("جهاز ليس في قائمة الأجهزة: أُرسل إليه إيقاف الجلسة"));
                });
            });
    }
}

bool StationTools::loadJournal()
{
    QList<JournalRecord> records;
    try {
        records = SessionJournal::load();
    } catch (const AppError& e) {
        const std::optional<QString> aside = SessionJournal::moveAside();
        Application::reportError(e.text() + QLatin1Char('\n')
                                 + (aside ? QStringLiteral("نُقل سجل الجلسات إلى %1 وبدأ سجل جديد.").arg(*aside)
                                          : QStringLiteral("تعذر نقله جانبا: لا تُحفظ جلسات هذا التشغيل حتى تمكن قراءته.")));
        if (!aside)
            return false;
        m_unclaimed.clear();
        m_saved.clear();
        m_journalReadable = true;
        // The new journal holds what this run counts already.
        syncJournal();
        return true;
    }
    m_unclaimed.clear();
    for (const JournalRecord& record : records) {
        if (!rowHoldsStation(record.station))
            m_unclaimed.append(record);
    }
    m_saved = records;
    m_journalReadable = true;
    return true;
}

StationTools::Found StationTools::stationProbed(int index, const Probe& probe)
{
    const QString station = m_rows.at(index)->stationName();
    const bool reachable = probe.reachable;
    CountdownState state = m_countdowns.at(index);
    if (state.holdsSession()) {
        if (reachable) {
            const RowCommand command(*this, index);
            const CountdownState owed = state;
            const Countdown::Outcome outcome = Countdown::deliver(state, m_memos.at(index), station, runner(index));
            if (const auto closed = SessionAudit::closed(station, owed, state))
                recordAudit(*closed);
            setCountdown(index, state);
            m_rows.at(index)->setLamp(outcome == Countdown::Outcome::Written);
        }
        return Found::Resumed;
    }

    // The same station on an earlier row of the roster: that row counts it.
    if (rowHoldsStation(station))
        return Found::Nothing;

    // The station's own file: its flag, and counters that may show less time left than the
    // journal (a clock moved, a file edited by hand never adds time). A file that could not be
    // read now is read at the first contact, before anything is written to it.
    const std::optional<LineBuffer>& file = probe.commandFile;
    const auto record = std::find_if(m_unclaimed.begin(), m_unclaimed.end(), [&](const JournalRecord& r) {
        return r.station.compare(station, Qt::CaseInsensitive) == 0;
    });
    if (record == m_unclaimed.end()) {
        const bool flagRaised = file && file->line(CommandChannel::SessionFlagLine) == QStringLiteral("1");
        return flagRaised ? Found::OpenWithoutRecord : Found::Nothing;
    }

    const JournalRecord claimed = *record;
    m_unclaimed.erase(record);
    // Its flag down: the session was stopped (or its "0" got through) and the journal could not
    // note it. Nothing is resumed or owed; the journal drops the record.
    if (file && file->line(CommandChannel::SessionFlagLine) == QStringLiteral("0")) {
        syncJournal();
        recordDropped(station, QStringLiteral("علم الجلسة \"0\" في ملف الجهاز عند الاستئناف"));
        return Found::Nothing;
    }
    qint64 left = SessionJournal::secondsLeft(claimed);
    // Counters the session never wrote are an earlier one's: they say nothing of its time.
    if (file && claimed.countersWritten) {
        if (const auto fileLeft = Countdown::remainingSeconds(file->line(CommandChannel::MinutesLine),
                                                              file->line(CommandChannel::SecondsLine)))
            left = std::min(left, *fileLeft);
    }
    if (!claimed.owesZero && left > 0) {
        Countdown::resume(state, left, claimed.minutes, claimed.paidEndUtc, file.has_value(), claimed.countersWritten);
        setCountdown(index, state);
        recordAudit(SessionAudit::resumed(claimed, left));
        return Found::Resumed;
    }
    Countdown::endUnattended(state, claimed.owesZero, claimed.minutes, claimed.paidEndUtc);
    recordAudit(SessionAudit::resumed(claimed, std::max<qint64>(left, 0)));
    const CountdownState ended = state;
    const RowCommand command(*this, index);
    const Countdown::Outcome outcome = reachable ? Countdown::deliver(state, m_memos.at(index), station, runner(index))
                                                 : Countdown::Outcome::Failed;
    if (const auto closed = SessionAudit::closed(station, ended, state))
        recordAudit(*closed);
    setCountdown(index, state);
    m_rows.at(index)->setLamp(outcome == Countdown::Outcome::Written);
    return Found::Resumed;
}
