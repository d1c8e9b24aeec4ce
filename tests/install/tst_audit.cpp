#include "install/Audit.h"
#include "install/InstallPaths.h"
#include "platform/AppError.h"
#include "platform/Clock.h"
#include "platform/store/Sqlite.h"
#include "support/TestPrefix.h"

#include <QDir>
#include <QtTest>

namespace {

Audit::Event sample(const QString& text, std::optional<qint64> minutes = {}, std::optional<double> amount = {})
{
    Audit::Event e;
    e.event = Audit::Events::TariffChange;
    e.station = QStringLiteral("PC01");
    e.minutes = minutes;
    e.kind = QStringLiteral("ألعاب");
    e.amount = amount;
    e.oldValue = QStringLiteral("0.5");
    e.newValue = QStringLiteral("0.75");
    e.text = text;
    return e;
}

// A chain of five rows, as the counter writes it.
void recordFive()
{
    for (int i = 1; i <= 5; ++i)
        QVERIFY(!Audit::record(sample(QStringLiteral("event %1").arg(i), i * 15, i * 7.5)));
}

// What someone with the file and an SQLite shell can do: the triggers go first.
Sqlite::Connection tamper()
{
    Sqlite::Connection db = Sqlite::open(Audit::localPath(), SQLITE_OPEN_READWRITE);
    Sqlite::exec(db.get(), QStringLiteral("DROP TRIGGER \"AuditKeepRows\"; DROP TRIGGER \"AuditKeepFields\""));
    return db;
}

// Rebuilds the hashes from a row on, as someone who knows the encoding would after a change.
void rehashFrom(sqlite3* db, qint64 serial)
{
    QList<Audit::Row> rows = Audit::rows();
    QByteArray previous(32, '\0');
    for (Audit::Row& row : rows) {
        if (row.serial >= serial) {
            row.hash = QString::fromLatin1(Audit::chainHash(previous, row).toHex());
            Sqlite::Statement update(db, QStringLiteral("UPDATE \"Audit\" SET \"Hash\" = ?1 WHERE \"Serial\" = ?2"));
            update.bind(1, row.hash);
            update.bind(2, row.serial);
            update.step();
        }
        previous = QByteArray::fromHex(row.hash.toLatin1());
    }
}

} // namespace

class TestAudit : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void rowsKeepTheirFieldsAndChain();
    void madeOnFirstUse();
    void tamperingBreaksTheChainAtTheRow_data();
    void tamperingBreaksTheChainAtTheRow();
    void headCatchesARebuiltOrShortenedChain_data();
    void headCatchesARebuiltOrShortenedChain();
    void rowsRefuseChangeThroughSqlite_data();
    void rowsRefuseChangeThroughSqlite();
    void unwritableRecordGivesTheReasonAndTheGapIsRecorded();
    void missingRecordIsNotAnEmptyChain();
    void parseHead_data();
    void parseHead();
    void rowsOfDays();

private:
    std::unique_ptr<TestPrefix> m_prefix;
};

void TestAudit::init()
{
    m_prefix = std::make_unique<TestPrefix>();
    m_prefix->makeTables();
    QVERIFY(Audit::create());
    Clock::setFixed(QDateTime(QDate(2026, 12, 11), QTime(9, 30, 5)));
}

void TestAudit::cleanup()
{
    Clock::setFixed({});
    Audit::setOperatorName({});
    m_prefix.reset();
}

void TestAudit::rowsKeepTheirFieldsAndChain()
{
    Audit::setOperatorName(QStringLiteral("سامي"));
    QVERIFY(!Audit::record(sample(QStringLiteral("first"), 60, 30.25)));
    QVERIFY(!Audit::record(sample(QString())));

    const QList<Audit::Row> rows = Audit::rows();
    QCOMPARE(rows.size(), 2);
    const Audit::Row& row = rows.first();
    QCOMPARE(row.serial, 1);
    QCOMPARE(row.timeLocal, QStringLiteral("2026-12-11 09:30:05"));
    QCOMPARE(row.timeUtc, QDateTime(QDate(2026, 12, 11), QTime(9, 30, 5)).toUTC().toString(Qt::ISODate));
    QCOMPARE(row.program, QStringLiteral("tst_audit"));
    QCOMPARE(row.operatorName, QStringLiteral("سامي"));
    QCOMPARE(row.event.event, Audit::Events::TariffChange);
    QCOMPARE(row.event.station, QStringLiteral("PC01"));
    QCOMPARE(row.event.minutes, 60);
    QCOMPARE(row.event.kind, QStringLiteral("ألعاب"));
    QCOMPARE(row.event.amount, 30.25);
    QCOMPARE(row.event.oldValue, QStringLiteral("0.5"));
    QCOMPARE(row.event.newValue, QStringLiteral("0.75"));
    QCOMPARE(row.event.text, QStringLiteral("first"));
    QCOMPARE(rows.at(1).event.minutes, std::nullopt);
    QCOMPARE(rows.at(1).event.amount, std::nullopt);

    // The chain as documented: row 1 hashed after 32 zero bytes, row 2 after row 1's hash.
    QCOMPARE(row.hash, QString::fromLatin1(Audit::chainHash(QByteArray(32, '\0'), row).toHex()));
    QCOMPARE(rows.at(1).hash,
             QString::fromLatin1(Audit::chainHash(QByteArray::fromHex(row.hash.toLatin1()), rows.at(1)).toHex()));

    const Audit::Verdict verdict = Audit::verify();
    QVERIFY(verdict.whole);
    QCOMPARE(verdict.message, QStringLiteral("2 events, the chain is whole"));
    QCOMPARE(verdict.last->serial, 2);
    QCOMPARE(QString::fromLatin1(verdict.last->hash.toHex()), rows.at(1).hash);
}

void TestAudit::madeOnFirstUse()
{
    QVERIFY(QFile::remove(Audit::localPath()));
    QVERIFY(QDir(QFileInfo(Audit::localPath()).path()).removeRecursively());
    QVERIFY(!Audit::record(sample(QStringLiteral("after setup"))));
    QCOMPARE(Audit::verify().events, 1);
}

void TestAudit::tamperingBreaksTheChainAtTheRow_data()
{
    QTest::addColumn<QString>("sql");
    QTest::addColumn<qint64>("row");
    QTest::addColumn<QString>("what");

    QTest::newRow("a field changed") << "UPDATE Audit SET Amount = 1 WHERE Serial = 3" << 3ll << "row 3 was changed";
    QTest::newRow("an empty field filled") << "UPDATE Audit SET Station = 'PC09' WHERE Serial = 4" << 4ll << "row 4 was changed";
    QTest::newRow("a hash changed") << "UPDATE Audit SET Hash = upper(Hash) WHERE Serial = 2" << 2ll << "row 2 was changed";
    QTest::newRow("the last row changed") << "UPDATE Audit SET Text = 'x' WHERE Serial = 5" << 5ll << "row 5 was changed";
    QTest::newRow("a row removed") << "DELETE FROM Audit WHERE Serial = 3" << 3ll << "row 3 was removed";
    QTest::newRow("the first row removed") << "DELETE FROM Audit WHERE Serial = 1" << 1ll << "row 1 was removed";
    // The rows after it renumbered to make room, as an inserted row needs.
    QTest::newRow("a row inserted")
        << "UPDATE Audit SET Serial = Serial + 100 WHERE Serial >= 3; UPDATE Audit SET Serial = Serial - 99 WHERE Serial > 100; "
           "INSERT INTO Audit SELECT 3, TimeUtc, TimeLocal, Program, Operator, Event, 'PC02', Minutes, Kind, 99, OldValue, "
           "NewValue, 'paid', Hash FROM Audit WHERE Serial = 2"
        << 3ll << "row 3 was inserted";
    QTest::newRow("a pair swapped")
        << "UPDATE Audit SET Serial = -1 WHERE Serial = 3; UPDATE Audit SET Serial = 3 WHERE Serial = 4; "
           "UPDATE Audit SET Serial = 4 WHERE Serial = -1"
        << 3ll << "rows 3 and 4 were swapped";
}

void TestAudit::tamperingBreaksTheChainAtTheRow()
{
    QFETCH(QString, sql);
    QFETCH(qint64, row);
    QFETCH(QString, what);
    recordFive();
    QVERIFY(Audit::verify().whole);

    Sqlite::exec(tamper().get(), sql);
    const Audit::Verdict verdict = Audit::verify();
    QVERIFY(!verdict.whole);
    QCOMPARE(verdict.badSerial, row);
    QVERIFY2(verdict.message.contains(what), qPrintable(verdict.message));
}

void TestAudit::headCatchesARebuiltOrShortenedChain_data()
{
    QTest::addColumn<QString>("sql");
    QTest::addColumn<qint64>("rehashFrom");
    QTest::addColumn<QString>("what");

    QTest::newRow("rebuilt from row 3") << "UPDATE Audit SET Amount = 1 WHERE Serial = 3" << 3ll << "rebuilt from row 4";
    QTest::newRow("rebuilt from the head's row") << "UPDATE Audit SET Text = 'x' WHERE Serial = 4" << 4ll << "rebuilt from row 4";
    QTest::newRow("cut short") << "DELETE FROM Audit WHERE Serial >= 3" << 0ll << "rows 3 to 4 were removed";
}

void TestAudit::headCatchesARebuiltOrShortenedChain()
{
    QFETCH(QString, sql);
    QFETCH(qint64, rehashFrom);
    QFETCH(QString, what);
    for (int i = 0; i < 4; ++i)
        QVERIFY(!Audit::record(sample(QStringLiteral("before the head"))));
    const Audit::Head head = *Audit::verify().last;
    QVERIFY(!Audit::record(sample(QStringLiteral("after the head"))));
    QVERIFY(Audit::verify(head).whole);

    {
        Sqlite::Connection db = tamper();
        Sqlite::exec(db.get(), sql);
        if (rehashFrom > 0)
            ::rehashFrom(db.get(), rehashFrom);
    }
    QVERIFY(Audit::verify().whole);
    const Audit::Verdict verdict = Audit::verify(head);
    QVERIFY(!verdict.whole);
    QVERIFY2(verdict.message.contains(what), qPrintable(verdict.message));
}

void TestAudit::rowsRefuseChangeThroughSqlite_data()
{
    QTest::addColumn<QString>("sql");
    QTest::newRow("update") << "UPDATE Audit SET Amount = 0";
    QTest::newRow("delete") << "DELETE FROM Audit WHERE Serial = 1";
}

void TestAudit::rowsRefuseChangeThroughSqlite()
{
    QFETCH(QString, sql);
    recordFive();
    Sqlite::Connection db = Sqlite::open(Audit::localPath(), SQLITE_OPEN_READWRITE);
    QVERIFY_THROWS_EXCEPTION(Sqlite::Failure, Sqlite::exec(db.get(), sql));
    QCOMPARE(Audit::verify().events, 5);
}

void TestAudit::unwritableRecordGivesTheReasonAndTheGapIsRecorded()
{
    QVERIFY(!Audit::record(sample(QStringLiteral("before"))));
    const QString path = Audit::localPath();
    const QString aside = path + QStringLiteral(".aside");
    QVERIFY(QFile::rename(path, aside));
    QVERIFY(QDir().mkdir(path));

    Audit::Event lost = sample(QStringLiteral("lost"));
    lost.event = Audit::Events::CardBatch;
    const std::optional<QString> reason = Audit::record(lost);
    QVERIFY(reason);
    QVERIFY2(reason->contains(QStringLiteral("Cannot write the audit record")) && reason->contains(QStringLiteral("folder")),
             qPrintable(*reason));
    Clock::setFixed(QDateTime(QDate(2026, 12, 11), QTime(9, 31, 0)));
    QVERIFY(Audit::record(sample(QStringLiteral("lost too"))));

    QVERIFY(QDir().rmdir(path));
    QVERIFY(QFile::rename(aside, path));
    QVERIFY(!Audit::record(sample(QStringLiteral("after"))));

    const QList<Audit::Row> rows = Audit::rows();
    QCOMPARE(rows.size(), 3);
    const Audit::Row& gap = rows.at(1);
    QCOMPARE(gap.event.event, Audit::Events::Gap);
    QCOMPARE(gap.event.newValue, QStringLiteral("2"));
    QVERIFY2(gap.event.text.contains(Audit::Events::CardBatch) && gap.event.text.contains(Audit::Events::TariffChange)
                 && gap.event.text.contains(QStringLiteral("folder")),
             qPrintable(gap.event.text));
    QCOMPARE(rows.at(2).event.text, QStringLiteral("after"));
    QVERIFY(Audit::verify().whole);

    // Once recorded, the gap is not told again.
    QVERIFY(!Audit::record(sample(QStringLiteral("later"))));
    QCOMPARE(Audit::rows().size(), 4);
}

void TestAudit::missingRecordIsNotAnEmptyChain()
{
    QVERIFY(QFile::remove(Audit::localPath()));
    try {
        Audit::verify();
        QFAIL("a missing record verified");
    } catch (const AppError& error) {
        QVERIFY2(error.text().contains(QStringLiteral("There is no audit record")), qPrintable(error.text()));
    }
}

void TestAudit::parseHead_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("valid");
    const QString hex = QStringLiteral("0123456789abcdef").repeated(4);
    QTest::newRow("as printed") << QStringLiteral("12:") + hex << true;
    QTest::newRow("capitals") << QStringLiteral("12:") + hex.toUpper() << true;
    QTest::newRow("serial 0") << QStringLiteral("0:") + hex << false;
    QTest::newRow("negative") << QStringLiteral("-3:") + hex << false;
    QTest::newRow("no colon") << QStringLiteral("12") + hex << false;
    QTest::newRow("short hash") << QStringLiteral("12:") + hex.left(63) << false;
    QTest::newRow("long hash") << QStringLiteral("12:") + hex + QLatin1Char('0') << false;
    QTest::newRow("not hex") << QStringLiteral("12:") + hex.left(63) + QLatin1Char('g') << false;
    QTest::newRow("blank around") << QStringLiteral(" 12:") + hex << false;
    QTest::newRow("serial too long") << QStringLiteral("1234567890123456789:") + hex << false;
    QTest::newRow("empty") << QString() << false;
}

void TestAudit::parseHead()
{
    QFETCH(QString, text);
    QFETCH(bool, valid);
    const Audit::HeadOrReason parsed = Audit::parseHead(text);
    QCOMPARE(bool(parsed.head), valid);
    if (valid)
        QCOMPARE(Audit::headText(*parsed.head), text.toLower());
    else
        QVERIFY(parsed.reason.contains(QStringLiteral("is not a head")));
}

void TestAudit::rowsOfDays()
{
    for (int day = 9; day <= 12; ++day) {
        Clock::setFixed(QDateTime(QDate(2026, 12, day), QTime(23, 59, 59)));
        QVERIFY(!Audit::record(sample(QString::number(day))));
    }
    auto texts = [](const QList<Audit::Row>& rows) {
        QStringList t;
        for (const Audit::Row& row : rows)
            t.append(row.event.text);
        return t;
    };
    QCOMPARE(texts(Audit::rows()), (QStringList{"9", "10", "11", "12"}));
    QCOMPARE(texts(Audit::rows(QStringLiteral("2026-12-10"), QStringLiteral("2026-12-11"))), (QStringList{"10", "11"}));
    QCOMPARE(texts(Audit::rows(QStringLiteral("2026-12-11"))), (QStringList{"11", "12"}));
    QCOMPARE(texts(Audit::rows({}, QStringLiteral("2026-12-09"))), QStringList{"9"});
}

QTEST_GUILESS_MAIN(TestAudit)

#include "tst_audit.moc"
