#include "platform/InstallPaths.h"
#include "app/TableExport.h"
#include "platform/AppError.h"
#include "platform/Regional.h"
#include "platform/TableStore.h"
#include "support/TestPrefix.h"

#include <QBuffer>
#include <QtTest>

namespace {

QByteArray exported(const QString& name)
{
    QBuffer out;
    out.open(QIODevice::WriteOnly);
    TableExport::write(*InstallTables::find(name), out);
    return out.data();
}

} // namespace

class TestTableExport : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void writesRfc4180WithArabicAndDots_data();
    void writesRfc4180WithArabicAndDots();
    void emptyTableGivesTheHeader();
    void missingTableFailsByName();

private:
    std::optional<TestPrefix> m_prefix;
};

void TestTableExport::init()
{
    m_prefix.emplace();
    m_prefix->makeTables();
    // A comma as the regional decimal separator must not reach the CSV.
    Regional::setOverride(Regional::Settings{QStringLiteral("dd/MM/yyyy"), QStringLiteral("hh:mm:ss"), u','});
}

void TestTableExport::cleanup()
{
    Regional::setOverride(std::nullopt);
    m_prefix.reset();
}

void TestTableExport::writesRfc4180WithArabicAndDots_data()
{
    QTest::addColumn<QString>("table");
    QTest::addColumn<QList<QStringList>>("rows"); // field=value pairs, stored in this order
    QTest::addColumn<QByteArray>("csv");

    // Days stored out of order come out in key order; a blank total stays empty.
    QTest::newRow("days") << "SumDays"
                          << QList<QStringList>{{"DateDay=03/01/2024", "SumDay=1234,5"}, {"DateDay=01/01/2024"},
                                                {"DateDay=02/01/2024", "SumDay=-0,25"}}
                          << QByteArray("\xEF\xBB\xBF"
                                        "DateDay,SumDay\r\n"
                                        "01/01/2024,\r\n"
                                        "02/01/2024,-0.25\r\n"
                                        "03/01/2024,1234.5\r\n");
    QTest::newRow("cards") << "Card1"
                           << QList<QStringList>{{"Num=12AB\"C,D", "Time1=30", "Used=غير مستخدم", "ReminTime=30", "Cost=7,5",
                                                  "Kind=ألعاب"},
                                                 {"Num= padded ", "Kind=أنترنيت", "Cost=100000000"}}
                           << QStringLiteral("\uFEFF"
                                             "Auto,Num,Time1,Used,ReminTime,Cost,UseFirstTime,Kind\r\n"
                                             "1,\"12AB\"\"C,D\",30,غير مستخدم,30,7.5,,ألعاب\r\n"
                                             "2,\" padded \",,,,100000000,,أنترنيت\r\n")
                                  .toUtf8();
}

void TestTableExport::writesRfc4180WithArabicAndDots()
{
    QFETCH(QString, table);
    QFETCH(QList<QStringList>, rows);
    QFETCH(QByteArray, csv);
    const InstallTables::Table* place = InstallTables::find(table);
    TableStore store;
    store.OpenTable(place->directory, place->fileName);
    for (const QStringList& row : rows) {
        store.InsertRow();
        for (const QString& pair : row)
            store.SetFieldText(pair.section(u'=', 0, 0), pair.section(u'=', 1));
        store.PostRow();
    }
    store.CloseTable();
    QCOMPARE(exported(table), csv);
}

void TestTableExport::emptyTableGivesTheHeader()
{
    QCOMPARE(exported(QStringLiteral("detaildays")),
             QByteArray("\xEF\xBB\xBF"
                        "Auto,DateDay2,StartOperation,TimeOperation,KandOperation,Cost,Computer\r\n"));
}

void TestTableExport::missingTableFailsByName()
{
    QFile::remove(m_prefix->local(InstallPaths::CardDir + QStringLiteral("\\Card.db")));
    try {
        exported(QStringLiteral("Card"));
        QFAIL("exported a missing table");
    } catch (const AppError& error) {
        QVERIFY2(error.text().startsWith(QStringLiteral("Cannot read the table \"%1\\Card.db\".").arg(InstallPaths::CardDir)),
                 qPrintable(error.text()));
    }
}

QTEST_GUILESS_MAIN(TestTableExport)
#include "tst_tableexport.moc"
