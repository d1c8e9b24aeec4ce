#include "cards/CardReport.h"
#include "platform/ui/Application.h"
#include "platform/ui/ReportPreview.h"
#include "support/PreviewWindows.h"
#include "support/SampleCards.h"

#include <QPrinter>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

namespace {

QList<Report::Page> cardPages(int count)
{
    Report::RowsDataSet data = sampleCards(count);
    return CardReport::layOut(data);
}

} // namespace

class TestReportPreview : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void printerTakesTheStoredSettings();
    void printingHonoursThePageRange_data();
    void printingHonoursThePageRange();
    void previewShowsEveryPageAndWaitsUntilClosed_data();
    void previewShowsEveryPageAndWaitsUntilClosed();
    void secondPreviewOpensBesideTheFirst();
    void closingTheParentEndsTheWait();

private:
    // Fails the test instead of hanging when a preview is left open.
    QTimer m_watchdog;
};

void TestReportPreview::init()
{
    m_watchdog.setSingleShot(true);
    m_watchdog.callOnTimeout([] {
        closePreviews();
        QFAIL("a preview was left open");
    });
    m_watchdog.start(10000);
}

void TestReportPreview::cleanup()
{
    m_watchdog.stop();
    QVERIFY(openPreviews().isEmpty());
}

void TestReportPreview::printerTakesTheStoredSettings()
{
    QPrinter printer(QPrinter::HighResolution);
    ReportPreview::setUpPrinter(printer, CardReport::definition());
    // As the print dialog does when the operator picks its PDF output: the settings stay.
    printer.setOutputFormat(QPrinter::PdfFormat);

    QCOMPARE(printer.copyCount(), 1);
    QCOMPARE(printer.duplex(), QPrinter::DuplexNone);
    QCOMPARE(printer.paperSource(), QPrinter::Upper);
    QCOMPARE(printer.printRange(), QPrinter::PageRange);
    QCOMPARE(printer.fromPage(), 1);
    QCOMPARE(printer.toPage(), 1);
    QVERIFY(printer.fullPage());
    QCOMPARE(printer.pageLayout().pageSize().id(), QPageSize::Letter);
    QCOMPARE(printer.pageLayout().orientation(), QPageLayout::Portrait);
}

void TestReportPreview::printingHonoursThePageRange_data()
{
    QTest::addColumn<int>("from");
    QTest::addColumn<int>("to");
    QTest::addColumn<int>("pages");
    QTest::addColumn<QStringList>("footers");
    QTest::newRow("stored range: page 1 only") << 1 << 1 << 1 << QStringList{"Page 1"};
    QTest::newRow("all pages") << 0 << 0 << 2 << QStringList{"Page 1", "Page 2"};
    QTest::newRow("page 2 only") << 2 << 2 << 1 << QStringList{"Page 2"};
    QTest::newRow("range past the end") << 1 << 9 << 2 << QStringList{"Page 1", "Page 2"};
    QTest::newRow("nothing in range: no job") << 3 << 4 << -1 << QStringList{};
}

void TestReportPreview::printingHonoursThePageRange()
{
    QFETCH(int, from);
    QFETCH(int, to);
    QFETCH(int, pages);
    QFETCH(QStringList, footers);
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("printed.pdf"));
    QPrinter printer(QPrinter::HighResolution);
    ReportPreview::setUpPrinter(printer, CardReport::definition());
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(file);
    if (from == 0) {
        printer.setPrintRange(QPrinter::AllPages);
    } else {
        printer.setFromTo(from, to);
    }
    ReportPreview::paint(printer, cardPages(40));
    QCOMPARE(pdfPageCount(file), pages);
    if (pages > 0) {
        const QStringList printed = pdfText(file).split(u'\f', Qt::SkipEmptyParts);
        QCOMPARE(printed.size(), footers.size());
        for (qsizetype i = 0; i < printed.size(); ++i)
            QVERIFY2(printed.at(i).trimmed().endsWith(footers.at(i)), qPrintable(printed.at(i).right(80)));
    }
}

void TestReportPreview::previewShowsEveryPageAndWaitsUntilClosed_data()
{
    QTest::addColumn<int>("cards");
    QTest::addColumn<int>("pages");
    QTest::newRow("empty table: no pages") << 0 << 0;
    // Both pages, although the stored range prints only the first.
    QTest::newRow("forty cards") << 40 << 2;
}

void TestReportPreview::previewShowsEveryPageAndWaitsUntilClosed()
{
    QFETCH(int, cards);
    QFETCH(int, pages);
    int seen = -1;
    bool modal = true;
    bool closed = false;
    QTimer::singleShot(0, this, [&] {
        const QList<QPrintPreviewDialog*> previews = openPreviews();
        QCOMPARE(previews.size(), 1);
        seen = previewPageCount(previews.first());
        modal = previews.first()->isModal();
        // Still waiting: the command has not returned while the window is open.
        QTimer::singleShot(50, this, [&, dialog = previews.first()] {
            closed = true;
            dialog->close();
        });
    });
    ReportPreview::exec(CardReport::definition(), cardPages(cards), nullptr);
    QVERIFY(closed);
    QCOMPARE(seen, pages);
    QVERIFY(!modal);
}

void TestReportPreview::secondPreviewOpensBesideTheFirst()
{
    QList<int> seenOpen;
    bool secondReturned = false;
    QTimer::singleShot(0, this, [&] {
        QTimer::singleShot(0, this, [&] {
            const QList<QPrintPreviewDialog*> previews = openPreviews();
            seenOpen.append(int(previews.size()));
            for (QPrintPreviewDialog* d : previews)
                d->close();
        });
        ReportPreview::exec(CardReport::definition(), cardPages(1), nullptr);
        secondReturned = true;
    });
    ReportPreview::exec(CardReport::definition(), cardPages(40), nullptr);
    QVERIFY(secondReturned);
    QCOMPARE(seenOpen, QList<int>{2});
}

void TestReportPreview::closingTheParentEndsTheWait()
{
    auto* parent = new QWidget;
    parent->show();
    QTimer::singleShot(0, this, [parent] { delete parent; });
    ReportPreview::exec(CardReport::definition(), cardPages(5), parent);
    QVERIFY(openPreviews().isEmpty());
}

int main(int argc, char** argv)
{
    Application app(argc, argv, QStringLiteral("QuorvelServer"));
    TestReportPreview test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_reportpreview.moc"
