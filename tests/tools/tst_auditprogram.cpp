#include "install/Audit.h"
#include "install/InstallPaths.h"
#include "platform/Clock.h"
#include "platform/store/Sqlite.h"
#include "support/TestPrefix.h"

#include <QDir>
#include <QProcess>
#include <QtTest>

namespace {

struct Run
{
    int exitCode = -1;
    QString out;
    QString err;
    QByteArray rawOut;
};

Run audit(const QStringList& args)
{
    const QString dir = qEnvironmentVariable("QUORVEL_TEST_BINARY_DIR", QCoreApplication::applicationDirPath());
    QProcess process;
    process.start(dir + QStringLiteral("/quorvel-audit"), args);
    if (!process.waitForFinished(60000))
        return {};
    const QByteArray out = process.readAllStandardOutput();
    return {process.exitCode(), QString::fromUtf8(out), QString::fromUtf8(process.readAllStandardError()), out};
}

} // namespace

// quorvel-audit: what the owner runs to check and read the record.
class TestAuditProgram : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void verifiesAndPrintsTheHead();
    void brokenChainNamesTheRow();
    void headPrintedEarlier();
    void listsDaysAsText();
    void listsAsCsv();
    void refusals_data();
    void refusals();

private:
    std::unique_ptr<TestPrefix> m_prefix;
};

void TestAuditProgram::init()
{
    m_prefix = std::make_unique<TestPrefix>();
    m_prefix->makeTables();
    QVERIFY(Audit::create());
    for (int day = 9; day <= 11; ++day) {
        Clock::setFixed(QDateTime(QDate(2026, 12, day), QTime(12, 0)));
        Audit::Event event;
        event.event = Audit::Events::TariffChange;
        event.kind = QStringLiteral("ألعاب");
        event.oldValue = QStringLiteral("0.5");
        event.newValue = QString::number(day);
        event.text = QStringLiteral("=cmd");
        QVERIFY(!Audit::record(event));
    }
    Clock::setFixed({});
}

void TestAuditProgram::cleanup()
{
    m_prefix.reset();
}

void TestAuditProgram::verifiesAndPrintsTheHead()
{
    const Run run = audit({"verify"});
    QCOMPARE(run.exitCode, 0);
    const QString head = Audit::headText(*Audit::verify().last);
    QCOMPARE(run.out, QStringLiteral("3 events, the chain is whole\nhead %1\n").arg(head));
    QCOMPARE(audit({"verify", "--head", head}).exitCode, 0);
}

void TestAuditProgram::brokenChainNamesTheRow()
{
    {
        Sqlite::Connection db = Sqlite::open(Audit::localPath(), SQLITE_OPEN_READWRITE);
        Sqlite::exec(db.get(), QStringLiteral("DROP TRIGGER \"AuditKeepRows\"; DELETE FROM Audit WHERE Serial = 2"));
    }
    const Run run = audit({"verify"});
    QCOMPARE(run.exitCode, 1);
    QCOMPARE(run.err, QStringLiteral("quorvel-audit: The chain is broken at row 2: row 2 was removed\n"));
}

void TestAuditProgram::headPrintedEarlier()
{
    const Audit::Head head = *Audit::verify().last;
    {
        Sqlite::Connection db = Sqlite::open(Audit::localPath(), SQLITE_OPEN_READWRITE);
        Sqlite::exec(db.get(), QStringLiteral("DROP TRIGGER \"AuditKeepRows\"; DELETE FROM Audit WHERE Serial = 3"));
    }
    QCOMPARE(audit({"verify"}).exitCode, 0);
    const Run run = audit({"verify", "--head", Audit::headText(head)});
    QCOMPARE(run.exitCode, 1);
    QVERIFY2(run.err.contains(QStringLiteral("rows 3 to 3 were removed")), qPrintable(run.err));
}

void TestAuditProgram::listsDaysAsText()
{
    const Run run = audit({"list", "--from", "2026-12-10", "--to", "2026-12-10"});
    QCOMPARE(run.exitCode, 0);
    const QStringList lines = run.out.split(u'\n', Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 1);
    QVERIFY2(lines.at(0).startsWith(
                 QStringLiteral("2  2026-12-10 12:00:00  tst_auditprogram  -  tariff-change  -  -  ألعاب  -  0.5 -> 10  =cmd")),
             qPrintable(lines.at(0)));
    QCOMPARE(audit({"list"}).out.count(u'\n'), 3);
}

void TestAuditProgram::listsAsCsv()
{
    const Run run = audit({"list", "--csv", "--from", "2026-12-11"});
    QCOMPARE(run.exitCode, 0);
    const QStringList lines = run.out.split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 2);
    QVERIFY(run.rawOut.startsWith("\xEF\xBB\xBFSerial,"));
    QCOMPARE(lines.at(0),
             QStringLiteral("Serial,TimeUtc,TimeLocal,Program,Operator,Event,Station,Minutes,Kind,Amount,OldValue,"
                            "NewValue,Text,Hash"));
    // A cell a spreadsheet would run as a formula is written as text.
    QVERIFY2(lines.at(1).startsWith(QStringLiteral("3,")) && lines.at(1).contains(QStringLiteral(",'=cmd,")),
             qPrintable(lines.at(1)));
}

void TestAuditProgram::refusals_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("message");

    QTest::newRow("nothing") << QStringList{} << 2 << "usage: quorvel-audit verify";
    QTest::newRow("unknown command") << QStringList{"check"} << 2 << "unknown command \"check\"";
    QTest::newRow("head without value") << QStringList{"verify", "--head"} << 2 << "verify takes only --head";
    QTest::newRow("head not a head") << QStringList{"verify", "--head", "3:abc"} << 2 << "\"3:abc\" is not a head";
    QTest::newRow("two heads") << QStringList{"verify", "--head", "1:" + QString(64, u'0'), "--head", "1:" + QString(64, u'0')}
                               << 2 << "once";
    QTest::newRow("a day that is none") << QStringList{"list", "--from", "2026-02-30"} << 2 << "--from takes a day as YYYY-MM-DD";
    QTest::newRow("a day in another shape") << QStringList{"list", "--to", "11/12/2026"} << 2 << "--to takes a day";
    QTest::newRow("from after to") << QStringList{"list", "--from", "2026-12-11", "--to", "2026-12-10"} << 2 << "is after";
    QTest::newRow("unknown option") << QStringList{"list", "--all"} << 2 << "not \"--all\"";
    QTest::newRow("unknown head serial") << QStringList{"verify", "--head", "9:" + QString(64, u'0')} << 1
                                         << "rows 4 to 9 were removed";
}

void TestAuditProgram::refusals()
{
    QFETCH(QStringList, args);
    QFETCH(int, exitCode);
    QFETCH(QString, message);
    const Run run = audit(args);
    QCOMPARE(run.exitCode, exitCode);
    QVERIFY2(run.err.contains(message), qPrintable(run.err));
    QVERIFY(run.out.isEmpty());
}

QTEST_GUILESS_MAIN(TestAuditProgram)

#include "tst_auditprogram.moc"
