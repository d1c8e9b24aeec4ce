#include "cards/ui/CardReportForm.h"
#include "install/InstallPaths.h"
#include "install/Tables.h"
#include "platform/Clock.h"
#include "platform/Regional.h"
#include "platform/store/TableStore.h"
#include "platform/ui/Application.h"
#include "platform/ui/MessageBoxes.h"
#include "support/PreviewWindows.h"
#include "support/SampleCards.h"
#include "support/TestPrefix.h"

#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

namespace {

// Writes cards as the generator does: a blank row that takes its serial, then its fields.
void addCards(const QString& directory, const QString& table, const QList<QStringList>& cards)
{
    TableStore store;
    store.OpenTable(directory, table);
    for (const QStringList& card : cards) {
        store.InsertRow();
        store.PostRow();
        store.EditRow();
        store.SetFieldInteger(QStringLiteral("Time1"), card.at(2).toInt());
        store.SetFieldInteger(QStringLiteral("ReminTime"), card.at(4).toInt());
        store.SetFieldText(QStringLiteral("Kind"), card.at(7));
        store.SetFieldFloat(QStringLiteral("Cost"), card.at(5).toDouble());
        store.SetFieldText(QStringLiteral("Used"), card.at(3));
        store.SetFieldText(QStringLiteral("Num"),
                           QStringLiteral("%1%2").arg(store.GetFieldText(QStringLiteral("Auto")), card.at(1)));
        store.PostRow();
    }
}

int reportWindows()
{
    int count = 0;
    for (QWidget* w : QApplication::topLevelWidgets())
        count += qobject_cast<CardReportForm*>(w) ? 1 : 0;
    return count;
}

} // namespace

class TestCardReportWindow : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void previewShowsTheMainTable_data();
    void previewShowsTheMainTable();
    void missingMainTableShowsTheStoreErrorAndNoPreview();
    void reportReadsTheMainTableWhileTheGridShowsTheTemporaryOne();
    void pdfOfFortyCards();

private:
    std::unique_ptr<TestPrefix> m_prefix;
    QList<MessageBoxes::Shown> m_boxes;
};

void TestCardReportWindow::init()
{
    m_prefix = std::make_unique<TestPrefix>();
    m_prefix->makeInstallTree();
    Tables::create(Tables::mainCards());
    Tables::create(Tables::tempCards());
    Regional::setOverride(Regional::Formats{QStringLiteral("dd/MM/yyyy"), QStringLiteral("hh:mm:ss"), u'.'});
    Clock::setFixed(QDateTime(QDate(2024, 3, 9), QTime(12, 0)));
    m_boxes.clear();
    MessageBoxes::setRecorderForTests([this](const MessageBoxes::Shown& box) { m_boxes.append(box); });
}

void TestCardReportWindow::cleanup()
{
    closePreviews();
    MessageBoxes::setRecorderForTests({});
    Regional::setOverride(std::nullopt);
    Clock::setFixed(QDateTime());
    m_prefix.reset();
}

void TestCardReportWindow::previewShowsTheMainTable_data()
{
    QTest::addColumn<int>("cards");
    QTest::addColumn<int>("pages");
    QTest::newRow("empty table: a preview without pages") << 0 << 0;
    QTest::newRow("forty cards: two pages") << 40 << 2;
}

void TestCardReportWindow::previewShowsTheMainTable()
{
    QFETCH(int, cards);
    QFETCH(int, pages);
    addCards(InstallPaths::CardDir, QStringLiteral("Card.db"), sampleCardRows(cards));

    int seen = -1;
    int windowsWhileOpen = 0;
    QTimer::singleShot(0, this, [&] {
        const QList<QPrintPreviewDialog*> previews = openPreviews();
        QCOMPARE(previews.size(), 1);
        seen = previewPageCount(previews.first());
        windowsWhileOpen = reportWindows();
        previews.first()->close();
    });
    QTimer watchdog;
    watchdog.callOnTimeout([] { closePreviews(); });
    watchdog.start(10000);
    printCardReport(nullptr);
    QCOMPARE(seen, pages);
    // The command's own report window lives as long as its preview and no longer.
    QCOMPARE(windowsWhileOpen, 1);
    QCOMPARE(reportWindows(), 0);
    QVERIFY(m_boxes.isEmpty());
}

void TestCardReportWindow::missingMainTableShowsTheStoreErrorAndNoPreview()
{
    QFile::remove(m_prefix->local(InstallPaths::CardDir + QStringLiteral("\\Card.db")));
    bool previewSeen = false;
    QPushButton print;
    connect(&print, &QPushButton::clicked, this, [&] {
        QTimer::singleShot(0, this, [&] {
            previewSeen = !openPreviews().isEmpty();
            closePreviews();
        });
        printCardReport(&print);
    });
    print.show();
    QTest::mouseClick(&print, Qt::LeftButton);
    QCoreApplication::processEvents();
    QVERIFY(!previewSeen);
    QCOMPARE(m_boxes.size(), 1);
    QCOMPARE(m_boxes.first().title, QStringLiteral("QuorvelServer"));
    QVERIFY2(m_boxes.first().text.contains(QStringLiteral("Card.DB"), Qt::CaseInsensitive), qPrintable(m_boxes.first().text));
    QCOMPARE(reportWindows(), 0);
}

void TestCardReportWindow::reportReadsTheMainTableWhileTheGridShowsTheTemporaryOne()
{
    QList<QStringList> main = sampleCardRows(3);
    QList<QStringList> temporary = sampleCardRows(5);
    for (QStringList& card : main)
        card[1] = QStringLiteral("MAIN");
    for (QStringList& card : temporary)
        card[1] = QStringLiteral("TEMP");
    addCards(InstallPaths::CardDir, QStringLiteral("Card.db"), main);
    addCards(InstallPaths::TempCardDir, QStringLiteral("Card1.db"), temporary);

    // The card creator's table, bound to the temporary table and standing on its last card.
    TableStore grid;
    grid.OpenTable(InstallPaths::TempCardDir, QStringLiteral("Card1.db"));
    grid.MoveLast();

    CardReportForm form;
    form.openCustomer();
    const QList<Report::Page> pages = form.layOut();
    QCOMPARE(pages.size(), 1);
    QStringList numbers;
    for (const Report::PlacedBand* card : pages.first().bandsOf(Report::BandKind::Detail))
        numbers << card->item(QStringLiteral("QRDBText5"))->text;
    QCOMPARE(numbers, (QStringList{"1MAIN", "2MAIN", "3MAIN"}));
    QCOMPARE(grid.GetFieldText(QStringLiteral("Num")), QStringLiteral("5TEMP"));

    // The report's table is read-only.
    QVERIFY_THROWS_EXCEPTION(AppError, form.Customer()->InsertRow());
}

void TestCardReportWindow::pdfOfFortyCards()
{
    addCards(InstallPaths::CardDir, QStringLiteral("Card.db"), sampleCardRows(40));
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("cards.pdf"));
    QCOMPARE(writeCardReportPdf(file), 2);
    QCOMPARE(pdfPageCount(file), 2);

    const QStringList pages = pdfText(file).split(u'\f', Qt::SkipEmptyParts);
    QCOMPARE(pages.size(), 2);
    for (int i = 0; i < 2; ++i) {
        const QStringList lines = pages.at(i).split(u'\n', Qt::SkipEmptyParts);
        // The footer is the page's last line: the date at the left, the page number at the right.
        const QString footer = lines.last().simplified();
        QCOMPARE(footer, QStringLiteral("Printed 09/03/2024 Page %1").arg(i + 1));
    }
    // Every card once, in serial order: page 1 holds 1 to 32, page 2 holds 33 to 40.
    QStringList serials;
    static const QRegularExpression serialAtLineEnd(QStringLiteral("(\\d+)\\s*$"));
    for (const QString& page : pages) {
        const QStringList lines = page.split(u'\n', Qt::SkipEmptyParts);
        for (qsizetype l = 0; l + 1 < lines.size(); ++l) {
            const QRegularExpressionMatch m = serialAtLineEnd.match(lines.at(l));
            if (m.hasMatch())
                serials << m.captured(1);
        }
    }
    QStringList expected;
    for (int i = 1; i <= 40; ++i)
        expected << QString::number(i);
    QCOMPARE(serials, expected);
}

int main(int argc, char** argv)
{
    Application app(argc, argv, QStringLiteral("QuorvelServer"));
    TestCardReportWindow test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_cardreportwindow.moc"
