#include "accounting/AuditReport.h"

#include "platform/Clock.h"
#include "platform/Regional.h"

namespace AuditReport {

namespace {

using Report::Align;
using Report::Band;
using Report::BandKind;
using Report::Item;
using Report::Source;

QString dayOf(const Audit::Row& row)
{
    return row.timeLocal.left(10);
}

QStringList distinct(const QList<Audit::Row>& rows, QString (*part)(const Audit::Row&))
{
    QStringList seen;
    for (const Audit::Row& row : rows) {
        const QString value = part(row);
        if (!value.isEmpty() && !seen.contains(value))
            seen.append(value);
    }
    return seen;
}

struct Column
{
    QString title;
    double from; // millimetres from the printable area's left edge
    double to;
    bool arabic;
};

// From the right edge, as the owner reads: serial, time, event, ... the free text last.
const QList<Column>& columns()
{
    static const QList<Column> list{
        {QStringLiteral("الرقم"), 263, 277, false},  {QStringLiteral("الوقت"), 232, 262, false},
        {QStringLiteral("الحدث"), 194, 231, true},   {QStringLiteral("الجهاز"), 174, 193, false},
        {QStringLiteral("النوع"), 158, 173, true},   {QStringLiteral("الدقائق"), 146, 157, false},
        {QStringLiteral("المبلغ"), 130, 145, false}, {QStringLiteral("القديم ← الجديد"), 94, 129, false},
        {QStringLiteral("البرنامج"), 72, 93, false}, {QStringLiteral("النص"), 0, 71, true},
    };
    return list;
}

QString fieldName(qsizetype column)
{
    return QStringLiteral("c%1").arg(column);
}

Item item(const QString& name, double from, double to, double height, double points, bool arabic)
{
    Item it;
    it.name = name;
    it.rect = QRectF(from, 0.5, to - from, height);
    it.align = arabic ? Align::Right : Align::Left;
    it.style = Report::TextStyle{QStringLiteral("Arial"), points, Qt::black};
    it.rightToLeft = arabic;
    return it;
}

} // namespace

bool Filter::matches(const Audit::Row& row) const
{
    return (day.isEmpty() || dayOf(row) == day) && (station.isEmpty() || row.event.station == station)
        && (event.isEmpty() || row.event.event == event);
}

QList<Audit::Row> filtered(const QList<Audit::Row>& rows, const Filter& filter)
{
    QList<Audit::Row> kept;
    for (const Audit::Row& row : rows)
        if (filter.matches(row))
            kept.append(row);
    return kept;
}

QStringList days(const QList<Audit::Row>& rows)
{
    return distinct(rows, dayOf);
}

QStringList stations(const QList<Audit::Row>& rows)
{
    return distinct(rows, [](const Audit::Row& row) { return row.event.station; });
}

QStringList events(const QList<Audit::Row>& rows)
{
    return distinct(rows, [](const Audit::Row& row) { return row.event.event; });
}

const QStringList& columnTitles()
{
    static const QStringList titles = [] {
        QStringList list;
        for (const Column& column : columns())
            list.append(column.title);
        return list;
    }();
    return titles;
}

QStringList cells(const Audit::Row& row)
{
    const Audit::Event& e = row.event;
    const QString change = e.oldValue.isEmpty() && e.newValue.isEmpty() ? QString()
                                                                        : e.oldValue + QStringLiteral(" → ") + e.newValue;
    return {QString::number(row.serial),
            row.timeLocal,
            Audit::caption(e.event),
            e.station,
            e.kind,
            e.minutes ? QString::number(*e.minutes) : QString(),
            e.amount ? Regional::formatGeneral(*e.amount) : QString(),
            change,
            row.program,
            e.text};
}

Report::Definition definition(const QString& title)
{
    Report::Definition def;
    def.name = QStringLiteral("AuditList");
    def.pageSize = QSizeF(297, 210); // A4 across
    def.margins = QMarginsF(10, 10, 10, 10);
    def.font = Report::TextStyle{QStringLiteral("Arial"), 9, Qt::black};
    const double width = def.printableRect().width();

    Band titleBand{QStringLiteral("TitleBand"), BandKind::Title, 10, {}};
    Item heading = item(QStringLiteral("Title"), 0, width, 8, 13, true);
    heading.text = title;
    titleBand.items << heading;
    def.bands.append(titleBand);

    Band header{QStringLiteral("ColumnHeaderBand"), BandKind::ColumnHeader, 6, {}};
    Band detail{QStringLiteral("DetailBand"), BandKind::Detail, 5, {}};
    for (qsizetype i = 0; i < columns().size(); ++i) {
        const Column& column = columns().at(i);
        Item label = item(QStringLiteral("Title%1").arg(i), column.from, column.to, 5, 9, true);
        label.text = column.title;
        header.items << label;
        Item value = item(QStringLiteral("Field%1").arg(i), column.from, column.to, 4.5, 8, column.arabic);
        value.source = Source::Field;
        value.field = fieldName(i);
        detail.items << value;
    }
    def.bands << header << detail;

    Band footer{QStringLiteral("PageFooterBand"), BandKind::PageFooter, 6, {}};
    Item printed = item(QStringLiteral("Printed"), 0, 80, 4.2, 9, false);
    printed.source = Source::PrintDate;
    printed.text = QStringLiteral("Printed ");
    Item page = item(QStringLiteral("Page"), width - 40, width, 4.2, 9, false);
    page.source = Source::PageNumber;
    page.text = QStringLiteral("Page ");
    page.align = Align::Right;
    footer.items << printed << page;
    def.bands.append(footer);
    return def;
}

QList<Report::Page> layOut(const Report::Definition& definition, const QList<Audit::Row>& rows)
{
    QStringList fields;
    for (qsizetype i = 0; i < columns().size(); ++i)
        fields.append(fieldName(i));
    QList<QStringList> texts;
    for (const Audit::Row& row : rows)
        texts.append(cells(row));
    Report::RowsDataSet data(fields, texts);
    return Report::layOut(definition, data, Regional::shortDate(Clock::now().date()));
}

} // namespace AuditReport
