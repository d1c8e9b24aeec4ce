#include "accounting/TakingsReport.h"

#include "install/SessionKind.h"
#include "platform/Regional.h"
#include "platform/formats/Csv.h"

#include <QLocale>
#include <cmath>

namespace TakingsReport {

namespace {

using Takings::Result;
using Takings::Sums;

const QColor GamesColour(0x2F, 0x6D, 0xB5);
const QColor InternetColour(0xE0, 0x8A, 0x2C);
const QColor OtherColour(0x8C, 0x8C, 0x8C);
const QColor TotalColour(0x2A, 0x9D, 0x8F);
const QColor HeaderFill(0xE6, 0xE6, 0xE6);

QString count(qint64 value)
{
    return QString::number(value);
}

QString hourText(int hour)
{
    return hour < 0 ? QStringLiteral("غير مقروء") : QStringLiteral("%1:00").arg(hour, 2, 10, QLatin1Char('0'));
}

QString plainNumber(double value)
{
    return QString::number(value, 'f', QLocale::FloatingPointShortest);
}

QString stationName(const QString& name)
{
    return name.isEmpty() ? QStringLiteral("(بلا اسم)") : name;
}

QString kindName(const QString& kind)
{
    return kind.isEmpty() ? QStringLiteral("(بلا نوع)") : kind;
}

const QString UnreadableNote = QStringLiteral("تاريخ غير مقروء");
const QString StaleNote = QStringLiteral("إحتساب");

QString dayNote(const Takings::DayRow& day)
{
    QStringList notes;
    if (!day.date.isValid())
        notes << UnreadableNote;
    if (day.stale)
        notes << StaleNote;
    return notes.join(QStringLiteral("، "));
}

QStringList sumsCells(const Sums& s)
{
    return {count(s.sessions), count(s.minutes), money(s.games), money(s.internet), money(s.total)};
}

QString change(double now, double before, bool isMoney)
{
    const double diff = now - before;
    QString text = (diff > 0 ? QStringLiteral("+") : QString()) + (isMoney ? money(diff) : Regional::formatGeneral(diff));
    if (before != 0)
        text += QStringLiteral(" (%1%2)").arg(diff > 0 ? QStringLiteral("+") : QString(), percent(diff / std::abs(before)));
    return text;
}

} // namespace

QString money(double value)
{
    double rounded = std::round(value * 100) / 100;
    if (rounded == 0)
        rounded = 0; // never "-0"
    return Regional::formatGeneral(rounded);
}

QString percent(double fraction)
{
    double rounded = std::round(fraction * 1000) / 10;
    if (rounded == 0)
        rounded = 0;
    return Regional::formatGeneral(rounded) + QLatin1Char('%');
}

QList<Table> tables()
{
    return {Table::Day, Table::Station, Table::Hour, Table::Kind};
}

QString key(Table table)
{
    switch (table) {
    case Table::Day:
        return QStringLiteral("day");
    case Table::Station:
        return QStringLiteral("station");
    case Table::Hour:
        return QStringLiteral("hour");
    case Table::Kind:
        return QStringLiteral("kind");
    }
    return {};
}

std::optional<Table> tableOf(const QString& name)
{
    for (const Table t : tables()) {
        if (key(t) == name)
            return t;
    }
    return std::nullopt;
}

QString caption(Table table)
{
    switch (table) {
    case Table::Day:
        return QStringLiteral("الإيراد حسب اليوم");
    case Table::Station:
        return QStringLiteral("الإيراد حسب الجهاز");
    case Table::Hour:
        return QStringLiteral("الإيراد حسب ساعة اليوم");
    case Table::Kind:
        return QStringLiteral("الإيراد حسب النوع");
    }
    return {};
}

QStringList headers(Table table)
{
    const QString sessions = QStringLiteral("الجلسات");
    const QString minutes = QStringLiteral("الدقائق");
    const QString takings = QStringLiteral("الإيراد");
    switch (table) {
    case Table::Day:
        return {QStringLiteral("التاريخ"),
                sessions,
                minutes,
                SessionKind::GamesWord,
                SessionKind::InternetWord,
                QStringLiteral("المجموع"),
                QStringLiteral("ملاحظة")};
    case Table::Station:
        return {QStringLiteral("الجهاز"), sessions, minutes, takings, QStringLiteral("النسبة")};
    case Table::Hour:
        return {QStringLiteral("الساعة"), QStringLiteral("الجلسات المبدوءة"), minutes, takings};
    case Table::Kind:
        return {QStringLiteral("النوع"), sessions, minutes, takings};
    }
    return {};
}

QList<QStringList> rows(const Result& result, Table table)
{
    QList<QStringList> out;
    switch (table) {
    case Table::Day:
        for (const Takings::DayRow& day : result.days)
            out.append(QStringList{Regional::shortDate(day.date)} + sumsCells(day.sums) + QStringList{dayNote(day)});
        out.append(QStringList{QStringLiteral("المجموع")} + sumsCells(result.current.sums) + QStringList{QString()});
        for (const Takings::DayRow& day : result.unreadable)
            out.append(QStringList{day.texts.first()} + sumsCells(day.sums) + QStringList{dayNote(day)});
        break;
    case Table::Station:
        for (const Takings::StationRow& s : result.stations)
            out.append(
                {stationName(s.station), count(s.sums.sessions), count(s.sums.minutes), money(s.sums.total), percent(s.share)});
        break;
    case Table::Hour:
        for (const Takings::HourRow& h : result.hours)
            out.append({hourText(h.hour), count(h.sums.sessions), count(h.sums.minutes), money(h.sums.total)});
        break;
    case Table::Kind:
        for (const Takings::KindRow& k : result.kinds)
            out.append({kindName(k.kind), count(k.sums.sessions), count(k.sums.minutes), money(k.sums.total)});
        break;
    }
    return out;
}

QByteArray csv(const Result& result, Table table)
{
    QByteArray out = Csv::byteOrderMark();
    QStringList head = headers(table);
    if (table == Table::Station)
        head.last() += QStringLiteral(" %");
    out += Csv::record(head);
    auto sums = [](const Sums& s) {
        return QStringList{QString::number(s.sessions), QString::number(s.minutes), plainNumber(s.games), plainNumber(s.internet),
                           plainNumber(s.total)};
    };
    switch (table) {
    case Table::Day:
        for (const Takings::DayRow& day : result.days)
            out += Csv::record(QStringList{day.date.toString(Qt::ISODate)} + sums(day.sums) + QStringList{dayNote(day)});
        for (const Takings::DayRow& day : result.unreadable)
            out += Csv::record(QStringList{Csv::safeCell(day.texts.first())} + sums(day.sums) + QStringList{dayNote(day)});
        break;
    case Table::Station:
        for (const Takings::StationRow& s : result.stations)
            out += Csv::record({Csv::safeCell(s.station), QString::number(s.sums.sessions), QString::number(s.sums.minutes),
                                plainNumber(s.sums.total), plainNumber(std::round(s.share * 1e6) / 1e4)});
        break;
    case Table::Hour:
        for (const Takings::HourRow& h : result.hours)
            out += Csv::record({h.hour < 0 ? hourText(h.hour) : QString::number(h.hour), QString::number(h.sums.sessions),
                                QString::number(h.sums.minutes), plainNumber(h.sums.total)});
        break;
    case Table::Kind:
        for (const Takings::KindRow& k : result.kinds)
            out += Csv::record({Csv::safeCell(k.kind), QString::number(k.sums.sessions), QString::number(k.sums.minutes),
                                plainNumber(k.sums.total)});
        break;
    }
    return out;
}

QString title()
{
    return QStringLiteral("تقرير الإيراد");
}

QString periodText(const Takings::Period& period)
{
    // A date keeps its own order among the Arabic words: "20 Nov 2026" would otherwise show its
    // day after its month.
    auto date = [](const QDate& d) { return QChar(0x202A) + Regional::shortDate(d) + QChar(0x202C); };
    if (period.from == period.to)
        return QStringLiteral("الفترة: %1").arg(date(period.from));
    return QStringLiteral("الفترة: من %1 إلى %2").arg(date(period.from), date(period.to));
}

QList<QStringList> figureRows(const Result& result)
{
    const Takings::Figures& now = result.current;
    const Takings::Figures& before = result.previous;
    QList<QStringList> out;
    out.append({QString(), QStringLiteral("الفترة"), QStringLiteral("الفترة السابقة"), QStringLiteral("الفرق")});
    auto numberRow = [&](const QString& label, double a, double b, bool isMoney) {
        out.append({label, isMoney ? money(a) : Regional::formatGeneral(a), isMoney ? money(b) : Regional::formatGeneral(b),
                    change(a, b, isMoney)});
    };
    numberRow(QStringLiteral("الجلسات"), double(now.sums.sessions), double(before.sums.sessions), false);
    numberRow(QStringLiteral("الدقائق المباعة"), double(now.sums.minutes), double(before.sums.minutes), false);
    numberRow(QStringLiteral("إيراد الألعاب"), now.sums.games, before.sums.games, true);
    numberRow(QStringLiteral("إيراد الأنترنيت"), now.sums.internet, before.sums.internet, true);
    numberRow(QStringLiteral("مجموع الإيراد"), now.sums.total, before.sums.total, true);
    numberRow(QStringLiteral("المعدل لكل جلسة"), now.perSession(), before.perSession(), true);
    numberRow(QStringLiteral("المعدل لكل يوم"), now.perDay(), before.perDay(), true);
    auto useText = [](const Takings::Figures& f) { return f.use ? percent(*f.use) : QStringLiteral("—"); };
    QString useChange;
    if (now.use && before.use) {
        const double points = std::round((*now.use - *before.use) * 1000) / 10;
        useChange =
            QStringLiteral("%1%2 نقطة").arg(points > 0 ? QStringLiteral("+") : QString(), Regional::formatGeneral(points));
    }
    out.append({QStringLiteral("استخدام الأجهزة"), useText(now), useText(before), useChange});
    auto hour = [](const Takings::Figures& f) {
        return f.busiestHour < 0 ? QStringLiteral("—")
                                 : QStringLiteral("%1 (%2)").arg(hourText(f.busiestHour), money(f.busiestHourTakings));
    };
    out.append({QStringLiteral("أكثر ساعة إيراداً"), hour(now), hour(before), QString()});
    auto station = [](const Takings::Figures& f) {
        return f.hasTopStation ? QStringLiteral("%1 (%2)").arg(stationName(f.topStation), money(f.topStationTakings))
                               : QStringLiteral("—");
    };
    out.append({QStringLiteral("الجهاز الأعلى إيراداً"), station(now), station(before), QString()});
    return out;
}

QStringList notices(const Result& result)
{
    QStringList out;
    if (!result.unreadable.isEmpty())
        out << QStringLiteral(
                   "%1 يوم لا يُقرأ تاريخه بتنسيق التاريخ الحالي، مجموعها %2، غير داخلة في مجاميع الفترة (آخر جدول الأيام)")
                   .arg(result.unreadable.size())
                   .arg(money(result.unreadableSums.total));
    qsizetype stale = 0;
    for (const Takings::DayRow& day : result.days)
        stale += day.stale ? 1 : 0;
    if (stale > 0)
        out << QStringLiteral("%1 يوم مجموعه المخزن لا يطابق جلساته: اضغط «إحتساب» في التحكم المركزي").arg(stale);
    return out;
}

std::shared_ptr<const Report::Chart> dayChart(const Result& result)
{
    auto chart = std::make_shared<Report::Chart>();
    bool hasOther = false;
    for (const Takings::DayRow& day : result.days)
        hasOther = hasOther || std::abs(day.sums.total - day.sums.games - day.sums.internet) > 1e-9;
    chart->series = {{SessionKind::GamesWord, GamesColour}, {SessionKind::InternetWord, InternetColour}};
    if (hasOther)
        chart->series.append({QStringLiteral("أخرى"), OtherColour});
    auto valuesOf = [hasOther](const Sums& s) {
        QList<double> v{s.games, s.internet};
        if (hasOther)
            v.append(s.total - s.games - s.internet);
        return v;
    };
    const Takings::Period& p = result.period;
    QMap<QDate, Sums> byDate;
    for (const Takings::DayRow& day : result.days)
        byDate[day.date] = day.sums;
    if (p.days() <= 62) {
        const bool oneMonth = p.from.year() == p.to.year() && p.from.month() == p.to.month();
        for (QDate d = p.from; d <= p.to; d = d.addDays(1)) {
            chart->categories.append(oneMonth ? QString::number(d.day()) : QStringLiteral("%1/%2").arg(d.day()).arg(d.month()));
            chart->values.append(valuesOf(byDate.value(d)));
        }
    } else {
        for (QDate m(p.from.year(), p.from.month(), 1); m <= p.to; m = m.addMonths(1)) {
            Sums month;
            for (auto it = byDate.lowerBound(m); it != byDate.end() && it.key() < m.addMonths(1); ++it)
                month.add(it.value());
            chart->categories.append(QStringLiteral("%1/%2").arg(m.month()).arg(m.year()));
            chart->values.append(valuesOf(month));
        }
    }
    return chart;
}

std::shared_ptr<const Report::Chart> hourChart(const Result& result)
{
    auto chart = std::make_shared<Report::Chart>();
    chart->series = {{QStringLiteral("الإيراد"), TotalColour}};
    for (const Takings::HourRow& h : result.hours) {
        if (h.hour < 0)
            continue;
        chart->categories.append(QString::number(h.hour));
        chart->values.append(QList<double>{h.sums.total});
    }
    return chart;
}

std::shared_ptr<const Report::Chart> stationChart(const Result& result)
{
    auto chart = std::make_shared<Report::Chart>();
    chart->series = {{QStringLiteral("الإيراد"), TotalColour}};
    for (const Takings::StationRow& s : result.stations) {
        chart->categories.append(stationName(s.station));
        chart->values.append(QList<double>{s.sums.total});
    }
    return chart;
}

namespace {

using Report::Align;
using Report::Band;
using Report::BandKind;
using Report::Item;
using Report::Source;
using Report::TextStyle;

constexpr int MaxColumns = 7;
const QString BandField = QStringLiteral("band");
const QString TextField = QStringLiteral("text");

QString cellField(int c)
{
    return QStringLiteral("c%1").arg(c);
}

TextStyle style(double points)
{
    return TextStyle{QStringLiteral("Arial"), points, Qt::black};
}

Item textItem(const QString& name, const QString& field, const QRectF& rect, double points, Align align = Align::Right)
{
    Item item;
    item.name = name;
    item.source = Source::Field;
    item.field = field;
    item.rect = rect;
    item.align = align;
    item.style = style(points);
    item.rightToLeft = true;
    return item;
}

// A table's band: columns of the given widths from the right edge of the printable width.
Band tableBand(const QString& name, const QList<double>& widths, double width, bool header, qsizetype arabicColumn = -1)
{
    Band band{name, BandKind::Detail, header ? 6.5 : 5.5, {}, header ? 14.0 : 0.0};
    double right = width;
    for (qsizetype c = 0; c < widths.size(); ++c) {
        Item item = textItem(QStringLiteral("%1Cell%2").arg(name).arg(c), cellField(int(c)),
                             QRectF(right - widths.at(c) + 1, header ? 1.2 : 0.7, widths.at(c) - 2, 4.6), header ? 9.5 : 9,
                             c == 0 ? Align::Right : Align::Center);
        // Figures and dates read left to right, so that "-7.5" and "+1 (+0.4%)" keep their signs
        // in front and "05/12/2026" its order; captions and notes read right to left, and so does
        // a cell given in words.
        item.rightToLeft = header || c == arabicColumn;
        item.directionFromText = !item.rightToLeft;
        if (header)
            item.fill = HeaderFill;
        band.items.append(item);
        right -= widths.at(c);
    }
    return band;
}

QList<double> widthsOf(Table table, double width)
{
    switch (table) {
    case Table::Day:
        return {34, 20, 22, 24, 24, 26, width - 150};
    case Table::Station:
        return {60, 26, 30, 36, 30};
    case Table::Hour:
    case Table::Kind:
        return {50, 36, 36, 40};
    }
    return {};
}

struct Rows
{
    QStringList fields;
    QList<QStringList> rows;

    void add(const QString& band, const QString& text = {}, const QStringList& cells = {})
    {
        QStringList row{band, text};
        for (int c = 0; c < MaxColumns; ++c)
            row.append(cells.value(c));
        rows.append(row);
    }
};

} // namespace

Report::Definition definition(const Result& result)
{
    Report::Definition def;
    def.name = title();
    def.pageSize = QSizeF(210, 297); // A4, portrait
    def.margins = QMarginsF(12, 12, 12, 12);
    def.font = style(10);
    def.bandField = BandField;
    const double width = def.printableRect().width();

    Band head{QStringLiteral("Title"), BandKind::Detail, 11, {}};
    head.items << textItem(QStringLiteral("TitleText"), TextField, QRectF(0, 1, width, 9), 16, Align::Center);
    def.bands << head;
    Band line{QStringLiteral("Line"), BandKind::Detail, 6, {}};
    line.items << textItem(QStringLiteral("LineText"), TextField, QRectF(0, 0.8, width, 4.8), 10);
    def.bands << line;
    Band heading{QStringLiteral("Heading"), BandKind::Detail, 10, {}, 30};
    heading.items << textItem(QStringLiteral("HeadingText"), TextField, QRectF(0, 3.5, width, 6), 12);
    def.bands << heading;

    const QList<double> figureWidths{52, 40, 40, width - 132};
    def.bands << tableBand(QStringLiteral("FigureHead"), figureWidths, width, true)
              << tableBand(QStringLiteral("Figure"), figureWidths, width, false);
    for (const Table t : tables()) {
        // The day table's last column holds notes in words.
        const qsizetype notes = t == Table::Day ? widthsOf(t, width).size() - 1 : -1;
        def.bands << tableBand(key(t) + QStringLiteral("Head"), widthsOf(t, width), width, true)
                  << tableBand(key(t) + QStringLiteral("Row"), widthsOf(t, width), width, false, notes);
    }
    const QList<std::pair<QString, std::shared_ptr<const Report::Chart>>> charts{
        {QStringLiteral("DayChart"), dayChart(result)},
        {QStringLiteral("HourChart"), hourChart(result)},
        {QStringLiteral("StationChart"), stationChart(result)},
    };
    for (const auto& [name, chart] : charts) {
        Band band{name, BandKind::Detail, 62, {}};
        Item item;
        item.name = name + QStringLiteral("Bars");
        item.rect = QRectF(0, 1, width, 60);
        item.chart = chart;
        band.items << item;
        def.bands << band;
    }

    Band footer{QStringLiteral("PageFooter"), BandKind::PageFooter, 7, {}};
    Item printed;
    printed.name = QStringLiteral("Printed");
    printed.source = Source::PrintDate;
    printed.text = QStringLiteral("طُبع في ");
    printed.rect = QRectF(0, 2, 80, 4.5);
    printed.style = style(9);
    printed.rightToLeft = true;
    Item page = printed;
    page.name = QStringLiteral("PageNumber");
    page.source = Source::PageNumber;
    page.text = QStringLiteral("صفحة ");
    page.rect = QRectF(width - 40, 2, 40, 4.5);
    page.align = Align::Right;
    footer.items << printed << page;
    def.bands << footer;
    return def;
}

QList<Report::Page> layOut(const Result& result, const Report::Definition& definition, const QString& printDate)
{
    Rows data;
    data.fields = QStringList{BandField, TextField};
    for (int c = 0; c < MaxColumns; ++c)
        data.fields << cellField(c);

    data.add(QStringLiteral("Title"), title());
    data.add(QStringLiteral("Line"), periodText(result.period));
    data.add(QStringLiteral("Line"),
             QStringLiteral("الفترة السابقة: %1").arg(periodText(result.period.previous()).section(u' ', 1)));
    for (const QString& notice : notices(result))
        data.add(QStringLiteral("Line"), notice);

    const QList<QStringList> figures = figureRows(result);
    data.add(QStringLiteral("Heading"), QStringLiteral("الأرقام"));
    data.add(QStringLiteral("FigureHead"), {}, figures.first());
    for (qsizetype i = 1; i < figures.size(); ++i)
        data.add(QStringLiteral("Figure"), {}, figures.at(i));

    data.add(QStringLiteral("Heading"),
             result.period.days() <= 62 ? QStringLiteral("الإيراد اليومي حسب النوع")
                                        : QStringLiteral("الإيراد الشهري حسب النوع"));
    data.add(QStringLiteral("DayChart"));
    data.add(QStringLiteral("Heading"), QStringLiteral("الإيراد حسب ساعة اليوم"));
    data.add(QStringLiteral("HourChart"));
    data.add(QStringLiteral("Heading"), QStringLiteral("الإيراد حسب الجهاز"));
    data.add(QStringLiteral("StationChart"));

    for (const Table t : tables()) {
        data.add(QStringLiteral("Heading"), caption(t));
        data.add(key(t) + QStringLiteral("Head"), {}, headers(t));
        for (const QStringList& row : rows(result, t))
            data.add(key(t) + QStringLiteral("Row"), {}, row);
    }

    Report::RowsDataSet set(data.fields, data.rows);
    return Report::layOut(definition, set, printDate);
}

} // namespace TakingsReport
