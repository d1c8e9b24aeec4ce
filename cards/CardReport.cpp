#include "cards/CardReport.h"

#include "install/Tables.h"
#include "platform/Clock.h"
#include "platform/Regional.h"

namespace CardReport {

namespace {

using Report::Align;
using Report::Band;
using Report::BandKind;
using Report::Item;
using Report::Source;
using Report::TextStyle;

const QColor Silver(192, 192, 192);

TextStyle arial(double points, QColor color = Qt::black)
{
    return TextStyle{QStringLiteral("Arial"), points, color};
}

// A data field: fixed width, cut to its box, text left to right.
Item field(const char* name, const QString& fieldName, double from, double to, Align align)
{
    Item item;
    item.name = QString::fromLatin1(name);
    item.source = Source::Field;
    item.field = fieldName;
    item.rect = QRectF(from, 0.3, to - from, 6.6);
    item.align = align;
    item.style = arial(12);
    return item;
}

// An Arabic caption: sizes itself to its text from its right edge.
Item caption(const char* name, const QString& text, double from, double to)
{
    Item item;
    item.name = QString::fromLatin1(name);
    item.text = text;
    item.rect = QRectF(from, 1.0, to - from, 6.0);
    item.align = Align::Right;
    item.style = arial(12);
    item.autoSize = true;
    item.rightToLeft = true;
    return item;
}

Report::Definition build()
{
    Report::Definition def;
    def.name = QStringLiteral("QuickRep");
    def.pageSize = QSizeF(215.9, 279.4); // US Letter, portrait
    def.margins = QMarginsF(10, 10, 10, 10);
    def.font = arial(10);
    def.printer = Report::PrinterSettings{1, false, 1, 1, 1};
    const double width = def.printableRect().width();

    def.bands.append(Band{QStringLiteral("TitleBand1"), BandKind::Title, 3.6, {}});
    def.bands.append(Band{QStringLiteral("ColumnHeaderBand1"), BandKind::ColumnHeader, 4.0, {}});

    Band detail{QStringLiteral("DetailBand1"), BandKind::Detail, 7.6, {}};
    detail.items << field("QRDBText2", Tables::CardField::Auto, 182.2, 193.8, Align::Left)
                 << caption("QRLabel1", QStringLiteral("النوع"), 161.1, 168.3)
                 << field("QRDBText1", Tables::CardField::Kind, 132.3, 154.1, Align::Right)
                 << caption("QRLabel2", QStringLiteral("المدة"), 115.1, 121.0)
                 << field("QRDBText3", Tables::CardField::Minutes, 99.2, 109.1, Align::Right)
                 << caption("QRLabel5", QStringLiteral("دقيقة"), 92.9, 99.2)
                 << caption("QRLabel3", QStringLiteral("الرقم"), 60.2, 66.5)
                 << field("QRDBText5", Tables::CardField::Number, 20.2, 59.2, Align::Left);
    // The separator line under each card. Its underscores are wider in print than on the
    // designer's screen, so it is held to its span instead of running into the right margin.
    Item separator;
    separator.name = QStringLiteral("QRLabel4");
    separator.text = QString(106, u'_');
    separator.rect = QRectF(-2.0, 3.3, 194.5 + 2.0, 4.2);
    separator.style = arial(10, Silver);
    detail.items << separator;
    def.bands.append(detail);

    // The footer's texts in the report font: the date at the left, the page number against the
    // band's right edge.
    const double sysWidth = 60;
    Band footer{QStringLiteral("PageFooterBand1"), BandKind::PageFooter, 6.6, {}};
    Item printed;
    printed.name = QStringLiteral("QRSysData1");
    printed.source = Source::PrintDate;
    printed.text = QStringLiteral("Printed ");
    printed.rect = QRectF(1.0, 2.0, sysWidth, 4.2);
    printed.style = def.font;
    printed.autoSize = true;
    Item pageNumber = printed;
    pageNumber.name = QStringLiteral("QRSysData2");
    pageNumber.source = Source::PageNumber;
    pageNumber.text = QStringLiteral("Page ");
    pageNumber.rect = QRectF(width - sysWidth, 2.0, sysWidth, 4.2);
    pageNumber.align = Align::Right;
    footer.items << printed << pageNumber;
    def.bands.append(footer);
    return def;
}

} // namespace

const Report::Definition& definition()
{
    static const Report::Definition def = build();
    return def;
}

QList<Report::Page> layOut(Report::DataSet& cards)
{
    return Report::layOut(definition(), cards, Regional::shortDate(Clock::now().date()));
}

} // namespace CardReport
