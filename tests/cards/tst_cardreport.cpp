#include "cards/CardReport.h"
#include "install/Tables.h"
#include "platform/Clock.h"
#include "platform/Regional.h"
#include "support/SampleCards.h"

#include <QtTest>

using Report::BandKind;

namespace {

QList<Report::Page> layOutCards(int count)
{
    Report::RowsDataSet data = sampleCards(count);
    return CardReport::layOut(data);
}

bool near(double a, double b)
{
    return std::abs(a - b) < 1e-9;
}

QString describe(const QRectF& r)
{
    return QStringLiteral("(%1, %2, %3 x %4)").arg(r.x()).arg(r.y()).arg(r.width()).arg(r.height());
}

} // namespace

class TestCardReport : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();

    void cardsFillPagesOfThirtyTwo_data();
    void cardsFillPagesOfThirtyTwo();
    void everyPageHasHeaderAndFooterTitleOnlyTheFirst();
    void footerPrintsDateAtLeftAndPageNumberAtRight();
    void detailItemsSitWhereDefined_data();
    void detailItemsSitWhereDefined();
    void cardsKeepTheTableOrder();
    void anOversizedBandStillEnds();
};

void TestCardReport::initTestCase()
{
    Regional::setOverride(Regional::Formats{QStringLiteral("dd/MM/yyyy"), QStringLiteral("hh:mm:ss"), u'.'});
    Clock::setFixed(QDateTime(QDate(2024, 3, 9), QTime(23, 59, 59)));
}

void TestCardReport::cleanupTestCase()
{
    Regional::setOverride(std::nullopt);
    Clock::setFixed(QDateTime());
}

void TestCardReport::cardsFillPagesOfThirtyTwo_data()
{
    QTest::addColumn<int>("cards");
    QTest::addColumn<QList<int>>("perPage");
    QTest::newRow("empty table: no pages") << 0 << QList<int>{};
    QTest::newRow("one card") << 1 << QList<int>{1};
    QTest::newRow("a full first page") << 32 << QList<int>{32};
    QTest::newRow("one over") << 33 << QList<int>{32, 1};
    QTest::newRow("forty") << 40 << QList<int>{32, 8};
    QTest::newRow("a full second page") << 64 << QList<int>{32, 32};
    QTest::newRow("thousand") << 1000 << (QList<int>(31, 32) << 8);
}

void TestCardReport::cardsFillPagesOfThirtyTwo()
{
    QFETCH(int, cards);
    QFETCH(QList<int>, perPage);
    const QList<Report::Page> pages = layOutCards(cards);
    QList<int> counted;
    for (const Report::Page& page : pages) {
        counted.append(int(page.bandsOf(BandKind::Detail).size()));
        // No card runs into the footer or off the printable area.
        const QRectF footer = page.bandsOf(BandKind::PageFooter).value(0)->rect;
        const QRectF lastCard = page.bandsOf(BandKind::Detail).last()->rect;
        QVERIFY2(lastCard.bottom() <= footer.top() + 1e-9, qPrintable(describe(lastCard)));
        QVERIFY(near(footer.bottom(), 279.4 - 10));
    }
    QCOMPARE(counted, perPage);
}

void TestCardReport::everyPageHasHeaderAndFooterTitleOnlyTheFirst()
{
    const QList<Report::Page> pages = layOutCards(40);
    QCOMPARE(pages.size(), 2);
    for (const Report::Page& page : pages) {
        QCOMPARE(page.bandsOf(BandKind::Title).size(), page.number == 1 ? 1 : 0);
        QCOMPARE(page.bandsOf(BandKind::ColumnHeader).size(), 1);
        QCOMPARE(page.bandsOf(BandKind::PageFooter).size(), 1);
        // In page order: title, column header, the cards, the footer last.
        QCOMPARE(page.bands.first().kind, page.number == 1 ? BandKind::Title : BandKind::ColumnHeader);
        QCOMPARE(page.bands.last().kind, BandKind::PageFooter);
        QCOMPARE(page.size, QSizeF(215.9, 279.4));
    }
    // Bands follow one another from the top margin down, with no gaps.
    const Report::Page& first = pages.first();
    double y = 10;
    for (qsizetype i = 0; i + 1 < first.bands.size(); ++i) {
        QVERIFY2(near(first.bands.at(i).rect.top(), y), qPrintable(first.bands.at(i).name));
        QVERIFY(near(first.bands.at(i).rect.left(), 10) && near(first.bands.at(i).rect.width(), 195.9));
        y += first.bands.at(i).rect.height();
    }
    QVERIFY(near(first.bandsOf(BandKind::Detail).first()->rect.top(), 10 + 3.6 + 4.0));
    QVERIFY(near(pages.at(1).bandsOf(BandKind::Detail).first()->rect.top(), 10 + 4.0));
}

void TestCardReport::footerPrintsDateAtLeftAndPageNumberAtRight()
{
    const QList<Report::Page> pages = layOutCards(40);
    for (const Report::Page& page : pages) {
        const Report::PlacedBand* footer = page.bandsOf(BandKind::PageFooter).value(0);
        QVERIFY(near(footer->rect.top(), 279.4 - 10 - 6.6));
        const Report::PlacedItem* printed = footer->item(QStringLiteral("QRSysData1"));
        const Report::PlacedItem* number = footer->item(QStringLiteral("QRSysData2"));
        QVERIFY(printed && number);
        QCOMPARE(printed->text, QStringLiteral("Printed 09/03/2024"));
        QCOMPARE(number->text, QStringLiteral("Page %1").arg(page.number));
        QCOMPARE(printed->align, Report::Align::Left);
        QVERIFY(near(printed->rect.left(), 10 + 1.0));
        QCOMPARE(number->align, Report::Align::Right);
        QVERIFY(near(number->rect.right(), footer->rect.right()));
        for (const Report::PlacedItem* item : {printed, number}) {
            QVERIFY(near(item->rect.top(), footer->rect.top() + 2.0));
            QCOMPARE(item->style, (Report::TextStyle{QStringLiteral("Arial"), 10, Qt::black}));
        }
    }
}

void TestCardReport::detailItemsSitWhereDefined_data()
{
    QTest::addColumn<QString>("item");
    QTest::addColumn<double>("from");
    QTest::addColumn<double>("to");
    QTest::addColumn<double>("top");
    QTest::addColumn<int>("align");
    QTest::addColumn<double>("points");
    QTest::addColumn<bool>("clip");
    QTest::addColumn<QString>("text");
    const int left = int(Report::Align::Left), right = int(Report::Align::Right);
    QTest::newRow("serial") << "QRDBText2" << 182.2 << 193.8 << 0.3 << left << 12.0 << true << "1";
    QTest::newRow("kind label") << "QRLabel1" << 161.1 << 168.3 << 1.0 << right << 12.0 << false << "النوع";
    QTest::newRow("kind") << "QRDBText1" << 132.3 << 154.1 << 0.3 << right << 12.0 << true << "ألعاب";
    QTest::newRow("duration label") << "QRLabel2" << 115.1 << 121.0 << 1.0 << right << 12.0 << false << "المدة";
    QTest::newRow("minutes") << "QRDBText3" << 99.2 << 109.1 << 0.3 << right << 12.0 << true << "30";
    QTest::newRow("minute label") << "QRLabel5" << 92.9 << 99.2 << 1.0 << right << 12.0 << false << "دقيقة";
    QTest::newRow("number label") << "QRLabel3" << 60.2 << 66.5 << 1.0 << right << 12.0 << false << "الرقم";
    QTest::newRow("number") << "QRDBText5" << 20.2 << 59.2 << 0.3 << left << 12.0 << true << "1WI7919R2G";
    QTest::newRow("separator") << "QRLabel4" << -2.0 << 194.5 << 3.3 << left << 10.0 << true << QString(106, u'_');
}

void TestCardReport::detailItemsSitWhereDefined()
{
    QFETCH(QString, item);
    QFETCH(double, from);
    QFETCH(double, to);
    QFETCH(double, top);
    QFETCH(int, align);
    QFETCH(double, points);
    QFETCH(bool, clip);
    QFETCH(QString, text);

    const QList<Report::Page> pages = layOutCards(40);
    // The first card of each page: after the title and header on page 1, after the header on page 2.
    for (const Report::Page& page : pages) {
        const Report::PlacedBand* band = page.bandsOf(BandKind::Detail).first();
        const Report::PlacedItem* placed = band->item(item);
        QVERIFY(placed);
        const bool isField = item.startsWith(u"QRDBText");
        const double height = isField ? 6.6 : (item == u"QRLabel4" ? placed->rect.height() : 6.0);
        const QRectF expected(10 + from, band->rect.top() + top, to - from, height);
        QVERIFY2(near(placed->rect.left(), expected.left()) && near(placed->rect.right(), expected.right())
                     && near(placed->rect.top(), expected.top()) && near(placed->rect.height(), expected.height()),
                 qPrintable(describe(placed->rect) + " != " + describe(expected)));
        QCOMPARE(int(placed->align), align);
        QCOMPARE(placed->style.family, QStringLiteral("Arial"));
        QCOMPARE(placed->style.pointSize, points);
        QCOMPARE(placed->style.color, item == u"QRLabel4" ? QColor(192, 192, 192) : QColor(Qt::black));
        QCOMPARE(placed->clip, clip);
        // Arabic captions read right to left; fields keep left-to-right text.
        QCOMPARE(placed->rightToLeft, !clip);
        if (page.number == 1)
            QCOMPARE(placed->text, text);
    }
}

void TestCardReport::cardsKeepTheTableOrder()
{
    // Serials out of order and with gaps: the report prints them as the table hands them over.
    const QList<int> serials{3, 7, 12, 13, 40};
    QList<QStringList> rows;
    for (int serial : serials)
        rows.append({QString::number(serial), QStringLiteral("N%1").arg(serial), QStringLiteral("15"), QString(), QString(),
                     QString(), QString(), QStringLiteral("أنترنيت")});
    Report::RowsDataSet data(Tables::mainCards().fieldNames(), rows);
    const QList<Report::Page> pages = CardReport::layOut(data);
    QCOMPARE(pages.size(), 1);
    const auto details = pages.first().bandsOf(BandKind::Detail);
    QCOMPARE(details.size(), serials.size());
    for (qsizetype i = 0; i < details.size(); ++i) {
        QCOMPARE(details.at(i)->item(QStringLiteral("QRDBText2"))->text, QString::number(serials.at(i)));
        QCOMPARE(details.at(i)->item(QStringLiteral("QRDBText5"))->text, QStringLiteral("N%1").arg(serials.at(i)));
        QCOMPARE(details.at(i)->item(QStringLiteral("QRDBText3"))->text, QStringLiteral("15"));
        QCOMPARE(details.at(i)->item(QStringLiteral("QRDBText1"))->text, QStringLiteral("أنترنيت"));
    }
}

void TestCardReport::anOversizedBandStillEnds()
{
    // A detail band taller than the room between header and footer goes one to a page.
    Report::Definition def = CardReport::definition();
    for (Report::Band& band : def.bands) {
        if (band.kind == BandKind::Detail)
            band.height = 300;
    }
    Report::RowsDataSet data = sampleCards(3);
    const QList<Report::Page> pages = Report::layOut(def, data, QStringLiteral("today"));
    QCOMPARE(pages.size(), 3);
    for (const Report::Page& page : pages)
        QCOMPARE(page.bandsOf(BandKind::Detail).size(), 1);
}

QTEST_APPLESS_MAIN(TestCardReport)
#include "tst_cardreport.moc"
