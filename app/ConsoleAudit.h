#pragma once

#include "install/Audit.h"
#include "platform/ClockWatch.h"

#include <QString>

#include <optional>

// The console's own rows in the audit record: its start and exit, and the wall clock set under it.
namespace ConsoleAudit {

// Records the start, preceded by the row that says the previous run ended without closing when
// the record's last start has no exit after it. Returns why a row could not be written.
std::optional<QString> recordStart();
// Records the exit, with the sessions left counting in the journal. Returns why it could not be.
std::optional<QString> recordExit(int sessionsCounting);

// The row of a wall clock that jumped against the boot-time clock.
Audit::Event clockJump(const ClockWatch::Jump& jump);

} // namespace ConsoleAudit
