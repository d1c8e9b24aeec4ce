#pragma once

#include "accounting/Takings.h"
#include "platform/report/ReportEngine.h"

#include <QByteArray>
#include <QList>
#include <QStringList>
#include <memory>
#include <optional>

// The takings report's texts, tables, charts and pages: what the takings window shows, the preview
// prints, and quorvel-report writes as PDF or CSV. Figures are written in the regional formats;
// CSV numbers with a dot and dates as yyyy-MM-dd, whatever the regional settings, so spreadsheets
// read them.
namespace TakingsReport {

enum class Table { Day, Station, Hour, Kind };
QList<Table> tables();
// "day", "station", "hour", "kind".
QString key(Table table);
std::optional<Table> tableOf(const QString& key);
QString caption(Table table);
QStringList headers(Table table);
// The table's rows as shown and printed. The day table ends with the days whose text cannot be
// read and a total.
QList<QStringList> rows(const Takings::Result& result, Table table);
// UTF-8 CSV with a byte-order mark, a header and the rows; text cells safe for spreadsheets.
QByteArray csv(const Takings::Result& result, Table table);

QString title();
// "من ... إلى ..." in the regional short date format.
QString periodText(const Takings::Period& period);
// Label, this period, the previous one, and the change (difference and per cent).
QList<QStringList> figureRows(const Takings::Result& result);
// Lines that warn of what the figures leave out (days whose date cannot be read).
QStringList notices(const Takings::Result& result);

// The three charts: takings per day (per month over a period longer than two months) stacked by
// kind, by hour of day, and per station.
std::shared_ptr<const Report::Chart> dayChart(const Takings::Result& result);
std::shared_ptr<const Report::Chart> hourChart(const Takings::Result& result);
std::shared_ptr<const Report::Chart> stationChart(const Takings::Result& result);

// An amount, a count and a per cent as the report writes them.
QString money(double value);
QString percent(double fraction);

// The report's pages (A4), with printDate in the footer.
Report::Definition definition(const Takings::Result& result);
QList<Report::Page> layOut(const Takings::Result& result, const Report::Definition& definition, const QString& printDate);

} // namespace TakingsReport
