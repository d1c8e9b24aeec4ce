#pragma once

#include "platform/report/ReportEngine.h"

#include <QString>

// The printed card report: one line per card of the main card table, in serial order.
namespace CardReport {

// The report as the system defines it: page, bands, items, fonts and printer settings.
const Report::Definition& definition();

// Lays the cards out as the report prints them, with today's short date in the footer.
QList<Report::Page> layOut(Report::DataSet& cards);

} // namespace CardReport
