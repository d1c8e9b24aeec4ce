#include "install/Audit.h"
#include "install/OwnerPin.h"
#include "platform/AppError.h"
#include "support/TestPrefix.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QtTest>

namespace {

// Every byte the record's file and its write-ahead log hold: a PIN in clear would be among them.
QByteArray storedBytes()
{
    QByteArray bytes;
    for (const QString& suffix : {QString(), QStringLiteral("-wal"), QStringLiteral("-journal")}) {
        QFile file(Audit::localPath() + suffix);
        if (file.open(QIODevice::ReadOnly))
            bytes += file.readAll();
    }
    return bytes;
}

QList<Audit::Row> rowsOf(const QString& event)
{
    QList<Audit::Row> rows = Audit::rows();
    rows.removeIf([&event](const Audit::Row& row) { return row.event.event != event; });
    return rows;
}

struct Run
{
    int exitCode = -1;
    QString out;
    QString err;
};

Run setup(const QByteArray& input)
{
    const QString dir = qEnvironmentVariable("QUORVEL_TEST_BINARY_DIR", QCoreApplication::applicationDirPath());
    QProcess process;
    process.start(dir + QStringLiteral("/quorvel-setup"), {QStringLiteral("--owner-pin")});
    process.write(input);
    process.closeWriteChannel();
    if (!process.waitForFinished(60000))
        return {};
    return {process.exitCode(), QString::fromUtf8(process.readAllStandardOutput()),
            QString::fromUtf8(process.readAllStandardError())};
}

} // namespace

// The owner's PIN: optional, kept only as a password hash, and a wrong one changes nothing.
class TestOwnerPin : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void noPinAsksNothing();
    void pinIsNeverStoredInClear();
    void wrongPinIsRefusedAndRecorded();
    void pinOfTheWrongLengthKeepsTheOldOne_data();
    void pinOfTheWrongLengthKeepsTheOldOne();
    void emptyPinRemovesIt();
    void blindCountIsRecorded();
    void setupSetsChangesAndRefuses();

private:
    std::unique_ptr<TestPrefix> m_prefix;
};

void TestOwnerPin::init()
{
    m_prefix = std::make_unique<TestPrefix>();
    m_prefix->makeTables();
    QVERIFY(Audit::create());
}

void TestOwnerPin::cleanup()
{
    m_prefix.reset();
}

void TestOwnerPin::noPinAsksNothing()
{
    QVERIFY(!OwnerPin::isSet());
    QVERIFY(OwnerPin::check(QStringLiteral("anything"), QStringLiteral("the tariffs")));
    QVERIFY(!OwnerPin::blindCount());
    QVERIFY(Audit::rows().isEmpty());
    // With a folder where the record should be, there is nowhere a PIN could have been kept.
    QVERIFY(QFile::remove(Audit::localPath()));
    QVERIFY(QDir().mkpath(Audit::localPath()));
    QVERIFY(!OwnerPin::isSet());
    QVERIFY(OwnerPin::check(QString(), QStringLiteral("the tariffs")));
}

void TestOwnerPin::pinIsNeverStoredInClear()
{
    const QString pin = QStringLiteral("7319\u0664"); // an Arabic-Indic digit among the others
    QVERIFY(!OwnerPin::change(pin));
    QVERIFY(OwnerPin::isSet());
    const QByteArray bytes = storedBytes();
    QVERIFY(!bytes.contains(pin.toUtf8()));
    QVERIFY(!bytes.contains("7319"));
    QVERIFY(bytes.contains("$argon2id$"));
    QVERIFY(OwnerPin::check(pin, QStringLiteral("the tariffs")));
    const QList<Audit::Row> rows = Audit::rows();
    QCOMPARE(rows.size(), 1);
    QCOMPARE(rows.at(0).event.event, Audit::Events::OwnerSetting);
    QVERIFY(!rows.at(0).event.text.contains(QStringLiteral("7319")));
}

void TestOwnerPin::wrongPinIsRefusedAndRecorded()
{
    OwnerPin::change(QStringLiteral("2468"));
    QVERIFY(!OwnerPin::check(QStringLiteral("2469"), QStringLiteral("a recompute")));
    QVERIFY(!OwnerPin::check(QString(), QStringLiteral("the owner's view")));
    const QList<Audit::Row> refused = rowsOf(Audit::Events::PinRefused);
    QCOMPARE(refused.size(), 2);
    QCOMPARE(refused.at(0).event.text, QStringLiteral("a recompute"));
    QVERIFY(!refused.at(0).event.text.contains(QStringLiteral("2469")));
    QVERIFY(OwnerPin::check(QStringLiteral("2468"), QStringLiteral("a recompute")));
    QCOMPARE(rowsOf(Audit::Events::PinRefused).size(), 2);
    QVERIFY(Audit::verify().whole);
}

void TestOwnerPin::pinOfTheWrongLengthKeepsTheOldOne_data()
{
    QTest::addColumn<QString>("pin");
    QTest::newRow("three") << QStringLiteral("123");
    QTest::newRow("sixty-five") << QString(65, QLatin1Char('9'));
}

void TestOwnerPin::pinOfTheWrongLengthKeepsTheOldOne()
{
    QFETCH(QString, pin);
    OwnerPin::change(QStringLiteral("2468"));
    QVERIFY_THROWS_EXCEPTION(AppError, OwnerPin::change(pin));
    QVERIFY(OwnerPin::check(QStringLiteral("2468"), QString()));
    QCOMPARE(rowsOf(Audit::Events::OwnerSetting).size(), 1);
}

void TestOwnerPin::emptyPinRemovesIt()
{
    OwnerPin::change(QStringLiteral("2468"));
    QVERIFY(!OwnerPin::change(QString()));
    QVERIFY(!OwnerPin::isSet());
    const QList<Audit::Row> rows = rowsOf(Audit::Events::OwnerSetting);
    QCOMPARE(rows.size(), 2);
    QVERIFY(rows.at(1).event.text.contains(QStringLiteral("removed")));
}

void TestOwnerPin::blindCountIsRecorded()
{
    QVERIFY(!OwnerPin::setBlindCount(true));
    QVERIFY(OwnerPin::blindCount());
    OwnerPin::setBlindCount(true); // no change, no row
    OwnerPin::setBlindCount(false);
    QVERIFY(!OwnerPin::blindCount());
    const QList<Audit::Row> rows = rowsOf(Audit::Events::OwnerSetting);
    QCOMPARE(rows.size(), 2);
    QCOMPARE(rows.at(0).event.newValue, QStringLiteral("1"));
    QCOMPARE(rows.at(1).event.newValue, QStringLiteral("0"));
}

void TestOwnerPin::setupSetsChangesAndRefuses()
{
    Run run = setup("1357\n1357\n");
    QCOMPARE(run.exitCode, 0);
    QVERIFY2(run.out.contains(QStringLiteral("the owner's PIN is set")), qPrintable(run.out + run.err));
    QVERIFY(OwnerPin::check(QStringLiteral("1357"), QString()));

    run = setup("1111\n2468\n2468\n");
    QCOMPARE(run.exitCode, 1);
    QVERIFY2(run.err.contains(QStringLiteral("wrong")), qPrintable(run.err));
    QVERIFY(OwnerPin::check(QStringLiteral("1357"), QString()));
    QCOMPARE(rowsOf(Audit::Events::PinRefused).size(), 1);

    run = setup("1357\n2468\n2486\n");
    QCOMPARE(run.exitCode, 1);
    QVERIFY2(run.err.contains(QStringLiteral("differ")), qPrintable(run.err));
    QVERIFY(OwnerPin::check(QStringLiteral("1357"), QString()));

    run = setup("1357\n12\n12\n");
    QCOMPARE(run.exitCode, 1);
    QVERIFY2(run.err.contains(QStringLiteral("4 to 64")), qPrintable(run.err));

    run = setup("1357\n2468\n2468\n");
    QCOMPARE(run.exitCode, 0);
    QVERIFY(OwnerPin::check(QStringLiteral("2468"), QString()));
    QVERIFY(!storedBytes().contains("2468"));
}

QTEST_GUILESS_MAIN(TestOwnerPin)
#include "tst_ownerpin.moc"
