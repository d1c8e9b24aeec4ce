#include "app/ConsoleAudit.h"

#include "platform/AppError.h"

#include <cstdlib>

namespace ConsoleAudit {

namespace {

QString localText(const QDateTime& moment)
{
    return moment.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

// The last start of a console that recorded no exit after it.
std::optional<Audit::Row> startWithoutExit()
{
    try {
        const std::optional<Audit::Row> last = Audit::lastOf({Audit::Events::ConsoleStart, Audit::Events::ConsoleExit});
        if (last && last->event.event == Audit::Events::ConsoleStart)
            return last;
    } catch (const AppError&) {
        // A record that cannot be read cannot be written either: the start's own row says why.
    }
    return std::nullopt;
}

} // namespace

std::optional<QString> recordStart()
{
    std::optional<QString> problem;
    if (const std::optional<Audit::Row> start = startWithoutExit()) {
        Audit::Event unclean;
        unclean.event = Audit::Events::UncleanExit;
        unclean.oldValue = start->timeLocal;
        unclean.text = QStringLiteral("the previous run ended without closing: its start at %1 (row %2) has no exit")
                           .arg(start->timeLocal)
                           .arg(start->serial);
        problem = Audit::record(unclean);
    }
    Audit::Event started;
    started.event = Audit::Events::ConsoleStart;
    const std::optional<QString> startProblem = Audit::record(started);
    return problem ? problem : startProblem;
}

std::optional<QString> recordExit(int sessionsCounting)
{
    Audit::Event exited;
    exited.event = Audit::Events::ConsoleExit;
    if (sessionsCounting > 0)
        exited.text = QStringLiteral("%1 sessions left counting in the journal").arg(sessionsCounting);
    return Audit::record(exited);
}

Audit::Event clockJump(const ClockWatch::Jump& jump)
{
    Audit::Event row;
    row.event = Audit::Events::ClockJump;
    row.minutes = jump.offByMs / 60000;
    row.oldValue = localText(jump.expected);
    row.newValue = localText(jump.found);
    row.text = QStringLiteral("the wall clock was set %1 by %2 seconds against the boot-time clock")
                   .arg(jump.offByMs > 0 ? QStringLiteral("forward") : QStringLiteral("back"))
                   .arg(std::llabs(jump.offByMs) / 1000);
    return row;
}

} // namespace ConsoleAudit
