#include "cards/ui/CardCreatorWindow.h"
#include "install/InstallPaths.h"
#include "install/Tables.h"
#include "platform/Regional.h"
#include "platform/store/TableStore.h"
#include "platform/ui/MessageBoxes.h"
#include "support/SampleCards.h"
#include "support/TestPrefix.h"

#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QtTest>

class TestCardGrid : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void stepCostDoesNotGrowWithTheTable();

private:
    std::unique_ptr<TestPrefix> m_prefix;
};

void TestCardGrid::init()
{
    m_prefix = std::make_unique<TestPrefix>();
    m_prefix->makeTables();
    Regional::setOverride(Regional::Formats{QStringLiteral("dd/MM/yyyy"), QStringLiteral("hh:mm:ss"), QLatin1Char('.')});
    MessageBoxes::setRecorderForTests([](const MessageBoxes::Shown& box) { QFAIL(qPrintable(box.text)); });
}

void TestCardGrid::cleanup()
{
    MessageBoxes::setRecorderForTests({});
    Regional::setOverride(std::nullopt);
    m_prefix.reset();
}

// The cost of a step, counted in SQL statements, with the card creator's grid showing the table:
// a walk and a batch of cards run as many statements on 1 000 cards as on 20 000.
void TestCardGrid::stepCostDoesNotGrowWithTheTable()
{
    struct Cost
    {
        double walkPerRow = 0;
        quint64 batch = 0;
    };
    auto measure = [&](int held, Cost& cost) {
        appendCards(m_prefix->local(InstallPaths::CardDir + QStringLiteral("\\Card.db")), held);
        CardCreatorWindow form;
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        QTest::mouseClick(form.findChild<QPushButton*>(QStringLiteral("Button2")), Qt::LeftButton);
        QCoreApplication::processEvents();
        TableStore* table = form.table1();

        quint64 before = table->statementCount();
        int rows = 0;
        for (table->MoveFirst(); !table->AtEnd(); table->MoveNext())
            ++rows;
        QCoreApplication::processEvents();
        QCOMPARE(rows, held);
        cost.walkPerRow = double(table->statementCount() - before) / rows;

        auto* count = form.findChild<QLineEdit*>(QStringLiteral("Edit1"));
        count->setFocus();
        QTest::keyClick(count, Qt::Key_Backspace); // a key that types no digit empties the box
        QTest::keyClicks(count, QStringLiteral("20"));
        before = table->statementCount();
        QTest::mouseClick(form.findChild<QPushButton*>(QStringLiteral("BitBtn1")), Qt::LeftButton);
        QCoreApplication::processEvents();
        cost.batch = table->statementCount() - before;
        QCOMPARE(table->rowCount(), held + 20);
        // What the grid shows at the end: the last card, selected.
        auto* grid = form.findChild<QTableView*>(QStringLiteral("DBGrid1"));
        QCOMPARE(grid->currentIndex().row(), held + 19);
        QVERIFY(grid->model()->index(held + 19, 1).data().toString().startsWith(QString::number(held + 20)));

        // The table's write-ahead log goes with it, or the next table would take up its pages.
        for (const char* part : {"", "-wal", "-shm"})
            QFile::remove(m_prefix->local(InstallPaths::CardDir + QStringLiteral("\\Card.db")) + QLatin1String(part));
        Tables::create(Tables::mainCards());
    };
    Cost small, large;
    measure(1000, small);
    measure(20000, large);
    qInfo("statements: walk %.3f a row on 1000 cards, %.3f on 20000; 20 cards %llu and %llu", small.walkPerRow, large.walkPerRow,
          small.batch, large.batch);
    QVERIFY(large.walkPerRow <= small.walkPerRow * 1.05);
    // A walk reads ahead: well under two statements a row (one is the check for other writers).
    QVERIFY(large.walkPerRow < 1.5);
    QCOMPARE(large.batch, small.batch);
}

QTEST_MAIN(TestCardGrid)
#include "tst_cardgrid.moc"
