#include "install/InstallPaths.h"
#include "platform/AppError.h"
#include "platform/Regional.h"
#include "platform/store/TableStore.h"
#include "support/FileSizeLimit.h"
#include "support/HotJournal.h"
#include "support/TestPrefix.h"
#include "tools/TableExport.h"

#include <QBuffer>
#include <QDir>
#include <QTemporaryDir>

#include <QtTest>
#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QByteArray exported(const QString& name)
{
    QBuffer out;
    out.open(QIODevice::WriteOnly);
    TableExport::write(*Tables::find(name), out);
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
    void formulasAreNeutralised_data();
    void formulasAreNeutralised();
    void writesOnlyAPlainFileThatIsNoTable_data();
    void writesOnlyAPlainFileThatIsNoTable();
    void aFullDiskSaysSoAndKeepsTheFile();
    void anInterruptedWriteIsRolledBackFirst();

private:
    std::optional<TestPrefix> m_prefix;
};

void TestTableExport::init()
{
    m_prefix.emplace();
    m_prefix->makeTables();
    // A comma as the regional decimal separator must not reach the CSV.
    Regional::setOverride(Regional::Formats{QStringLiteral("dd/MM/yyyy"), QStringLiteral("hh:mm:ss"), u','});
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
                          << QList<QStringList>{{"DateDay=03/01/2024", "SumDay=1234,5"},
                                                {"DateDay=01/01/2024"},
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
    const Tables::Table* place = Tables::find(table);
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

void TestTableExport::formulasAreNeutralised_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("safe");
    QTest::newRow("equals") << "=HYPERLINK(\"x\")"
                            << "'=HYPERLINK(\"x\")";
    QTest::newRow("command") << "=cmd|' /C calc'!A0"
                             << "'=cmd|' /C calc'!A0";
    QTest::newRow("plus") << "+1"
                          << "'+1";
    QTest::newRow("minus") << "-1"
                           << "'-1";
    QTest::newRow("at") << "@SUM(A1)"
                        << "'@SUM(A1)";
    QTest::newRow("tab") << "\tx"
                         << "'\tx";
    QTest::newRow("carriage return") << "\rx"
                                     << "'\rx";
    QTest::newRow("inside is fine") << "a=b"
                                    << "a=b";
    QTest::newRow("Arabic") << "ألعاب"
                            << "ألعاب";
    QTest::newRow("empty") << ""
                           << "";
}

void TestTableExport::formulasAreNeutralised()
{
    QFETCH(QString, text);
    QFETCH(QString, safe);
    QCOMPARE(TableExport::cellText(text, TableExport::Cells::Safe), safe);
    QCOMPARE(TableExport::cellText(text, TableExport::Cells::Raw), text);
    // Through a table: the text cell is neutralised, the negative number stays a number.
    const Tables::Table* place = Tables::find("SumDays");
    TableStore store;
    store.OpenTable(place->directory, place->fileName);
    store.InsertRow();
    store.SetFieldText("DateDay", text.left(15).isEmpty() ? "x" : text.left(15));
    store.SetFieldText("SumDay", "-2,5");
    store.PostRow();
    store.CloseTable();
    const QByteArray csv = exported("SumDays");
    QVERIFY2(csv.contains(",-2.5\r\n"), csv.constData());
    if (text.startsWith('='))
        QVERIFY2(csv.contains("'="), csv.constData());
}

void TestTableExport::writesOnlyAPlainFileThatIsNoTable_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("refusal"); // empty: written
    QTest::newRow("absent") << "absent"
                            << "";
    QTest::newRow("a plain file") << "file"
                                  << "";
    QTest::newRow("the card table, by another name") << "table"
                                                     << "it is the install's table Card.db";
    QTest::newRow("the card table itself") << "table itself"
                                           << "it is the install's table Card.db";
    QTest::newRow("a link") << "link"
                            << "symbolic link";
    QTest::newRow("a link loop") << "loop"
                                 << "symbolic link";
    QTest::newRow("a FIFO") << "fifo"
                            << "not a regular file";
    QTest::newRow("a folder") << "folder"
                              << "not a regular file";
}

void TestTableExport::writesOnlyAPlainFileThatIsNoTable()
{
    QFETCH(QString, kind);
    QFETCH(QString, refusal);
    QTemporaryDir dir;
    const QString cardTable = m_prefix->local(InstallPaths::CardDir + "\\Card.db");
    QString path = dir.filePath("out.csv");
    QFile victim(dir.filePath("victim"));
    QVERIFY(victim.open(QIODevice::WriteOnly) && victim.write("kept") == 4);
    victim.close();
    if (kind == "file")
        QFile::copy(victim.fileName(), path);
    else if (kind == "table")
        QCOMPARE(::link(QFile::encodeName(cardTable).constData(), QFile::encodeName(path).constData()), 0);
    else if (kind == "table itself")
        path = cardTable;
    else if (kind == "link")
        QVERIFY(QFile::link(victim.fileName(), path));
    else if (kind == "loop")
        QVERIFY(QFile::link(path, path));
    else if (kind == "fifo")
        QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    else if (kind == "folder")
        QVERIFY(QDir().mkpath(path));
    const QByteArray tableBefore = m_prefix->readFile(InstallPaths::CardDir + "\\Card.db");

    if (refusal.isEmpty()) {
        TableExport::writeFile(*Tables::find("Card"), path);
        QFile written(path);
        QVERIFY(written.open(QIODevice::ReadOnly));
        QVERIFY(written.readAll().startsWith("\xEF\xBB\xBF"
                                             "Auto,Num"));
    } else {
        try {
            TableExport::writeFile(*Tables::find("Card"), path);
            QFAIL("written");
        } catch (const AppError& e) {
            QVERIFY2(e.text().contains(path) && e.text().contains(refusal), qPrintable(e.text()));
        }
    }
    // Nothing else changed: the table, the link's target, no file left beside.
    QCOMPARE(m_prefix->readFile(InstallPaths::CardDir + "\\Card.db"), tableBefore);
    QVERIFY(victim.open(QIODevice::ReadOnly));
    QCOMPARE(victim.readAll(), QByteArray("kept"));
    QCOMPARE(QDir(QFileInfo(path).absolutePath()).entryList(QDir::Hidden | QDir::Files).filter(".out.csv").size(), 0);
}

void TestTableExport::aFullDiskSaysSoAndKeepsTheFile()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("cards.csv");
    QFile old(path);
    QVERIFY(old.open(QIODevice::WriteOnly) && old.write("old") == 3);
    old.close();
    // The card creator has the table open, as in a café: its shared index of the write-ahead log is
    // then already the size a reader needs, and only the export's own file meets the full disk.
    const Tables::Table* cards = Tables::find("Card");
    TableStore holder;
    holder.OpenTable(cards->directory, cards->fileName);
    try {
        FileSizeLimit full(8);
        TableExport::writeFile(*cards, path);
        QFAIL("written on a full disk");
    } catch (const AppError& e) {
        QVERIFY2(e.text().contains(QString::fromLocal8Bit(std::strerror(EFBIG))), qPrintable(e.text()));
    }
    QVERIFY(old.open(QIODevice::ReadOnly));
    QCOMPARE(old.readAll(), QByteArray("old"));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Hidden | QDir::Files), QStringList{"cards.csv"});
}

void TestTableExport::anInterruptedWriteIsRolledBackFirst()
{
    // A writer killed halfway leaves a hot journal: the export still finds the table as it was.
    const QString file = m_prefix->local(InstallPaths::CardDir + "\\Card.db");
    leaveHotJournal(file);
    QVERIFY(QFileInfo::exists(file + "-journal"));
    QCOMPARE(exported("Card"),
             QByteArray("\xEF\xBB\xBF"
                        "Auto,Num,Time1,Used,ReminTime,Cost,UseFirstTime,Kind\r\n"));
}

QTEST_GUILESS_MAIN(TestTableExport)
#include "tst_tableexport.moc"
