#pragma once

#include "accounting/Shifts.h"
#include "platform/report/ReportEngine.h"

#include <QList>
#include <QPair>
#include <QString>

// A closed shift's slip: one page for the owner to keep, through the report engine.
namespace ShiftSlip {

// The slip's lines, caption and value, in the order they print.
QList<QPair<QString, QString>> lines(const Shifts::Closing& closing);

Report::Definition definition();
QList<Report::Page> layOut(const Report::Definition& definition, const Shifts::Closing& closing);

// A sum as the slip and the windows show it: regional separator, two decimals.
QString money(double value);
// A moment (UTC) as the counter's wall clock reads it, in the regional formats.
QString localTime(const QDateTime& utc);

} // namespace ShiftSlip
