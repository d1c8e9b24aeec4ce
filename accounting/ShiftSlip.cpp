#include "accounting/ShiftSlip.h"

#include "platform/Clock.h"
#include "platform/Regional.h"

namespace ShiftSlip {

namespace {

using Report::Align;
using Report::Band;
using Report::BandKind;
using Report::Item;
using Report::Source;

const QString CaptionField = QStringLiteral("caption");
const QString ValueField = QStringLiteral("value");

Item item(const QString& name, double from, double width, double height, double points)
{
    Item it;
    it.name = name;
    it.rect = QRectF(from, 0.5, width, height);
    it.align = Align::Right;
    it.style = Report::TextStyle{QStringLiteral("Arial"), points, Qt::black};
    it.rightToLeft = true;
    return it;
}

} // namespace

QString money(double value)
{
    QString text = QString::number(value, 'f', 2);
    return text.replace(QLatin1Char('.'), Regional::current().decimalSeparator);
}

QString localTime(const QDateTime& utc)
{
    const QDateTime local = utc.toLocalTime();
    return Regional::shortDate(local.date()) + QLatin1Char(' ') + Regional::longTime(local.time());
}

QList<QPair<QString, QString>> lines(const Shifts::Closing& closing)
{
    const Shifts::Shift& shift = closing.shift;
    QList<QPair<QString, QString>> list{
        {QStringLiteral("المشغل"), shift.operatorName},
        {QStringLiteral("رقم الوردية"), QString::number(shift.id)},
        {QStringLiteral("بداية الوردية"), localTime(shift.opened)},
        {QStringLiteral("نهاية الوردية"), shift.closed ? localTime(*shift.closed) : QStringLiteral("—")},
        {QStringLiteral("عدد الجلسات"), QString::number(closing.tally.sessions)},
        {QStringLiteral("الدقائق"), QString::number(closing.tally.minutes)},
    };
    for (const Shifts::KindSums& kind : closing.tally.kinds)
        list.append({QStringLiteral("إيراد %1 (%2 جلسة، %3 دقيقة)").arg(kind.kind).arg(kind.sessions).arg(kind.minutes),
                     money(kind.takings)});
    list.append({QStringLiteral("مجموع الإيراد"), money(closing.tally.takings)});
    list.append({QStringLiteral("النقد عند الفتح"), money(shift.openingCash)});
    list.append({QStringLiteral("النقد المتوقع"), money(closing.expected)});
    list.append({QStringLiteral("النقد المعدود"), shift.counted ? money(*shift.counted) : QStringLiteral("—")});
    list.append({QStringLiteral("الفرق"), shift.counted ? money(closing.difference()) : QStringLiteral("—")});
    // Copied by hand: kept left to right inside the Arabic page.
    list.append({QStringLiteral("رأس سلسلة السجل"),
                 closing.head ? QChar(0x2066) + Audit::headText(*closing.head) + QChar(0x2069) : QStringLiteral("—")});
    return list;
}

Report::Definition definition()
{
    Report::Definition def;
    def.name = QStringLiteral("ShiftSlip");
    def.pageSize = QSizeF(210, 297);
    def.margins = QMarginsF(12, 15, 12, 15);
    def.font = Report::TextStyle{QStringLiteral("Arial"), 10, Qt::black};
    const double width = def.printableRect().width();
    // The head's 64 hex digits and serial need most of the line.
    const double captionWidth = 50;

    Band title{QStringLiteral("TitleBand"), BandKind::Title, 14, {}};
    Item heading = item(QStringLiteral("Title"), 0, width, 10, 16);
    heading.text = QStringLiteral("إيصال الوردية");
    title.items << heading;

    Band detail{QStringLiteral("DetailBand"), BandKind::Detail, 8, {}};
    Item caption = item(QStringLiteral("Caption"), width - captionWidth, captionWidth, 7, 10);
    caption.source = Source::Field;
    caption.field = CaptionField;
    Item value = item(QStringLiteral("Value"), 0, width - captionWidth - 4, 7, 9);
    value.source = Source::Field;
    value.field = ValueField;
    value.rightToLeft = false;
    value.directionFromText = true;
    detail.items << caption << value;

    Band footer{QStringLiteral("PageFooterBand"), BandKind::PageFooter, 6, {}};
    Item printed = item(QStringLiteral("Printed"), 0, 80, 4.2, 9);
    printed.source = Source::PrintDate;
    printed.text = QStringLiteral("Printed ");
    printed.align = Align::Left;
    printed.rightToLeft = false;
    footer.items << printed;

    def.bands << title << detail << footer;
    return def;
}

QList<Report::Page> layOut(const Report::Definition& definition, const Shifts::Closing& closing)
{
    QList<QStringList> rows;
    for (const auto& [caption, value] : lines(closing))
        rows.append({caption, value});
    Report::RowsDataSet data({CaptionField, ValueField}, rows);
    return Report::layOut(definition, data, Regional::shortDate(Clock::now().date()));
}

} // namespace ShiftSlip
