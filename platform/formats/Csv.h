#pragma once

#include <QByteArray>
#include <QStringList>

// Comma-separated values as RFC 4180 has them, in UTF-8.
namespace Csv {

// Put before the first record, so that spreadsheet programs read the file as UTF-8.
QByteArray byteOrderMark();
// One record: the fields joined by commas and ended by CR LF. A field holding a comma, a double
// quote, a line break or blanks at either end is quoted, its quotes doubled.
QByteArray record(const QStringList& fields);
// A text cell as a spreadsheet may safely read it: one that it would take for a formula (it begins
// with "=", "+", "-", "@", a tab or a carriage return) gets a leading "'", as spreadsheet-safe
// exports do.
QString safeCell(const QString& text);

} // namespace Csv
