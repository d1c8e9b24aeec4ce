#pragma once

#include "install/Audit.h"
#include "platform/report/ReportEngine.h"

#include <QList>
#include <QString>
#include <QStringList>

// The owner's view of the audit record: which events it shows and how they print.
namespace AuditReport {

// An empty part lets every row through.
struct Filter
{
    QString day;     // the local day, "2026-12-11"
    QString station; // as the row names it
    QString event;   // an event word (Audit::Events)

    bool matches(const Audit::Row& row) const;
};

QList<Audit::Row> filtered(const QList<Audit::Row>& rows, const Filter& filter);

// The choices the filter offers for these rows: their days, stations and event words, each once,
// in the order they first occur (days and serials only ever grow).
QStringList days(const QList<Audit::Row>& rows);
QStringList stations(const QList<Audit::Row>& rows);
QStringList events(const QList<Audit::Row>& rows);

// The texts of a row as the view and the printed list show them, one per column of columnTitles().
QStringList cells(const Audit::Row& row);
const QStringList& columnTitles();

// The printed list: A4 across, one line per event, the filter in the title.
Report::Definition definition(const QString& title);
QList<Report::Page> layOut(const Report::Definition& definition, const QList<Audit::Row>& rows);

} // namespace AuditReport
