#include "sessions/SessionAudit.h"

#include "install/SessionKind.h"
#include "platform/AppError.h"
#include "platform/Regional.h"
#include "sessions/SessionJournal.h"
#include "stations/CommandChannel.h"

namespace SessionAudit {

namespace {

QString minutesAndSeconds(qint64 seconds)
{
    return QStringLiteral("%1:%2").arg(seconds / 60).arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

std::optional<qint64> secondsLeft(const CountdownState& state)
{
    if (!state.counting)
        return std::nullopt;
    // A count just begun shows "60" seconds, so the captions are not a clock reading.
    try {
        return qint64(Regional::parseWholeNumber(state.minutes)) * 60 + Regional::parseWholeNumber(state.seconds);
    } catch (const AppError&) {
        return std::nullopt;
    }
}

Audit::Event stationEvent(const QString& event, const QString& station)
{
    Audit::Event row;
    row.event = event;
    row.station = station;
    return row;
}

} // namespace

std::optional<QString> timeLeft(const CountdownState& state)
{
    const std::optional<qint64> left = secondsLeft(state);
    return left ? std::optional(minutesAndSeconds(*left)) : std::nullopt;
}

Audit::Event opened(const QString& station, int minutes, bool games, const QString& tariff, double cost,
                    const CountdownState& before)
{
    Audit::Event row = stationEvent(before.counting ? Audit::Events::SessionReopen : Audit::Events::SessionOpen, station);
    row.minutes = minutes;
    row.kind = games ? SessionKind::GamesWord : SessionKind::InternetWord;
    row.amount = cost;
    row.text = QStringLiteral("tariff %1").arg(tariff);
    if (before.counting) {
        row.oldValue = timeLeft(before).value_or(QStringLiteral("?"));
        row.text +=
            QStringLiteral("; the session it replaces had %1 left of %2 minutes").arg(row.oldValue).arg(before.minutesOpened);
    }
    return row;
}

Audit::Event stopped(const QString& station, const CountdownState& before, Countdown::Outcome outcome)
{
    Audit::Event row = stationEvent(Audit::Events::StopTime, station);
    if (const std::optional<qint64> left = secondsLeft(before)) {
        row.minutes = *left / 60;
        row.oldValue = minutesAndSeconds(*left);
        row.text = QStringLiteral("%1 left of %2 minutes").arg(row.oldValue).arg(before.minutesOpened);
    } else {
        row.text = QStringLiteral("no session was counting");
    }
    row.text += outcome == Countdown::Outcome::Written ? QStringLiteral("; the station took the \"0\"")
                                                       : QStringLiteral("; the station did not take the \"0\": it is owed");
    return row;
}

std::optional<Audit::Event> closed(const QString& station, const CountdownState& before, const CountdownState& after)
{
    if (!before.owesZero() || after.owesZero() || after.counting)
        return std::nullopt;
    const bool end = before.pending == CountdownState::Pending::EndOfSession;
    Audit::Event row = stationEvent(end ? Audit::Events::SessionEnd : Audit::Events::OwedZero, station);
    row.minutes = before.minutesOpened;
    row.text = end ? QStringLiteral("the station took the session's end")
                   : QStringLiteral("the station took the \"0\" it was owed");
    return row;
}

Audit::Event resumed(const JournalRecord& record, qint64 secondsLeft)
{
    Audit::Event row = stationEvent(Audit::Events::SessionResumed, record.station);
    row.minutes = record.minutes;
    const QString paidEnd = record.paidEndUtc.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    if (record.owesZero)
        row.text = QStringLiteral("its \"0\" was owed; paid until %1").arg(paidEnd);
    else if (secondsLeft > 0)
        row.text = QStringLiteral("%1 left, paid until %2").arg(minutesAndSeconds(secondsLeft), paidEnd);
    else
        row.text = QStringLiteral("its time ran out at %1 while the console did not count it").arg(paidEnd);
    return row;
}

Audit::Event foundOpen(const QString& station)
{
    Audit::Event row = stationEvent(Audit::Events::OpenUnrecorded, station);
    row.text = QStringLiteral("the station's session flag stands with no session of the console's");
    return row;
}

Audit::Event command(const QString& station, int line)
{
    Audit::Event row = stationEvent(Audit::Events::StationCommand, station);
    switch (line) {
    case CommandChannel::ShutDownLine:
        row.newValue = QStringLiteral("shut-down");
        break;
    case CommandChannel::LogOffLine:
        row.newValue = QStringLiteral("log-off");
        break;
    case CommandChannel::CloseProtectionLine:
        row.newValue = QStringLiteral("close-protection");
        break;
    default:
        row.newValue = QStringLiteral("line %1").arg(line);
        break;
    }
    return row;
}

} // namespace SessionAudit
