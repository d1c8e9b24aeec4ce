#include "accounting/Ledger.h"
#include "accounting/ui/ControlWindow.h"
#include "install/Audit.h"
#include "install/InstallPaths.h"
#include "platform/Clock.h"
#include "platform/files/LineBuffer.h"
#include "support/ConsoleFixture.h"

#include <QLabel>
#include <QProcess>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QtTest>

#include <functional>
#include <optional>

namespace {

// A row as the table below writes it: event|station|minutes|kind|amount|old|new|text.
QString described(const Audit::Row& row)
{
    const Audit::Event& e = row.event;
    return QStringList{e.event,
                       e.station,
                       e.minutes ? QString::number(*e.minutes) : QString(),
                       e.kind,
                       e.amount ? QString::number(*e.amount) : QString(),
                       e.oldValue,
                       e.newValue,
                       e.text}
        .join(QLatin1Char('|'));
}

} // namespace

// What the console and its station rows leave in the audit record.
class TestConsoleAudit : public QObject, private ConsoleFixture
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void eachActionIsRecordedWithItsFields_data();
    void eachActionIsRecordedWithItsFields();
    void anOpeningWhoseRowCannotBeWrittenStillRuns_data();
    void anOpeningWhoseRowCannotBeWrittenStillRuns();

private:
    void setClock(qint64 secondsOnTheBootClock, qint64 secondsOnTheWallClock)
    {
        Clock::advanceMonotonicForTests(secondsOnTheBootClock * 1000);
        Clock::setFixed(Clock::now().addSecs(secondsOnTheWallClock));
        m_console->checkClock();
    }
    void act(const QString& action);
    QList<Audit::Row> recordedSinceStart() const
    {
        QList<Audit::Row> rows = Audit::rows();
        rows.removeIf([this](const Audit::Row& r) { return r.serial <= m_startSerial; });
        return rows;
    }

    qint64 m_startSerial = 0;
};

void TestConsoleAudit::init()
{
    makeConsoleInstall();
    QVERIFY(Audit::create());
    restartConsole();
    const QList<Audit::Row> rows = Audit::rows();
    QCOMPARE(rows.size(), 1);
    QCOMPARE(rows.at(0).event.event, Audit::Events::ConsoleStart);
    QCOMPARE(rows.at(0).program, QStringLiteral("tst_consoleaudit"));
    m_startSerial = rows.at(0).serial;
}

void TestConsoleAudit::cleanup()
{
    closeConsoleInstall();
}

void TestConsoleAudit::act(const QString& action)
{
    if (action == "open") {
        open(0, "15");
        open(1, "120", false);
    } else if (action == "reopen") {
        open(0, "15");
        tick(0, 30);
        open(0, "30");
    } else if (action == "stop") {
        open(0, "15");
        tick(0, 90);
        QTest::mouseClick(row(0).timeStopButton(), Qt::LeftButton);
        QTest::mouseClick(row(1).timeStopButton(), Qt::LeftButton);
    } else if (action == "stop unreachable") {
        open(0, "15");
        setReachable("PC0", false);
        QTest::mouseClick(row(0).timeStopButton(), Qt::LeftButton);
        setReachable("PC0", true);
        Clock::advanceMonotonicForTests(5000);
        tick(0);
    } else if (action == "end") {
        open(2, "1");
        tick(2, 61);
    } else if (action == "commands") {
        QTest::mouseClick(row(3).stopButton(), Qt::LeftButton);
        QTest::mouseClick(row(3).exitButton(), Qt::LeftButton);
        QTest::mouseClick(row(3).closeButton(), Qt::LeftButton);
        setReachable("PC3", false);
        QTest::mouseClick(row(3).stopButton(), Qt::LeftButton); // not taken: not done
    } else if (action == "found open") {
        m_prefix->addStation("PC2", "0\r\n0\r\n0\r\n0\r\n0\r\n1\r\n5\r\n7");
        restartConsole();
        QTest::mouseClick(row(2).refreshButton(), Qt::LeftButton);
    } else if (action == "resumed") {
        open(1, "30");
        tick(1, 60);
        restartConsole();
    } else if (action == "ended while away") {
        open(1, "1");
        m_console.reset();
        Clock::advanceMonotonicForTests(120'000);
        restartConsole();
    } else if (action == "unclean exit") {
        m_console.reset();
        // What a run that was killed leaves: its start and nothing after it.
        Audit::Event killed;
        killed.event = Audit::Events::ConsoleStart;
        QVERIFY(!Audit::record(killed));
        restartConsole();
    } else if (action == "clock forward") {
        setClock(10, 10 + 5 * 60);
    } else if (action == "clock back") {
        setClock(20, 20 - 3 * 60 - 30);
    } else if (action == "clock moved a little at a time") {
        setClock(10, 10 + 90); // within the tolerance: nothing yet
        setClock(10, 10 + 60); // but it adds up
        setClock(10, 10);      // measured from the jump on
    } else {
        QFAIL(qPrintable("no such action: " + action));
    }
}

void TestConsoleAudit::eachActionIsRecordedWithItsFields_data()
{
    QTest::addColumn<QString>("action");
    QTest::addColumn<QStringList>("recorded"); // described(); {+N} is the serial N rows after the start's

    const QString games = QStringLiteral("ألعاب");
    const QString internet = QStringLiteral("أنترنيت");
    const QString open15 = "session-open|PC0|15|" + games + "|7.5|||tariff 0.5";
    const QString exitCounting = "console-exit|||||||1 sessions left counting in the journal";
    QTest::newRow("openings of both kinds") << "open"
                                            << QStringList{open15, "session-open|PC1|120|" + internet + "|30|||tariff 0.25"};
    QTest::newRow("a reopening over a counting session")
        << "reopen"
        << QStringList{open15,
                       "session-reopen|PC0|30|" + games
                           + "|15|14:30||tariff 0.5; the session it replaces had 14:30 left of 15 minutes"};
    QTest::newRow("stop time, and a stop with nothing counting")
        << "stop"
        << QStringList{open15, "stop-time|PC0|13|||13:30||13:30 left of 15 minutes; the station took the \"0\"",
                       "stop-time|PC1||||||no session was counting; the station took the \"0\""};
    QTest::newRow("a stop the station missed, its \"0\" delivered later")
        << "stop unreachable"
        << QStringList{open15,
                       "stop-time|PC0|15|||15:00||15:00 left of 15 minutes; the station did not take the \"0\": it is owed",
                       "owed-zero|PC0|15|||||the station took the \"0\" it was owed"};
    QTest::newRow("a session's end delivered") << "end"
                                               << QStringList{"session-open|PC2|1|" + games + "|0.5|||tariff 0.5",
                                                              "session-end|PC2|1|||||the station took the session's end"};
    QTest::newRow("station commands taken") << "commands"
                                            << QStringList{"station-command|PC3|||||shut-down|",
                                                           "station-command|PC3|||||log-off|",
                                                           "station-command|PC3|||||close-protection|"};
    QTest::newRow("a station found open at the show and at a refresh")
        << "found open"
        << QStringList{"console-exit|||||||", "console-start|||||||",
                       "open-unrecorded|PC2||||||the station's session flag stands with no session of the console's",
                       "open-unrecorded|PC2||||||the station's session flag stands with no session of the console's"};
    QTest::newRow("a session resumed from the journal")
        << "resumed"
        << QStringList{"session-open|PC1|30|" + games + "|15|||tariff 0.5", exitCounting, "console-start|||||||",
                       "session-resumed|PC1|30|||||29:00 left, paid until 2026-12-09 10:30:00"};
    QTest::newRow("a session that ended while the console was closed")
        << "ended while away"
        << QStringList{"session-open|PC1|1|" + games + "|0.5|||tariff 0.5", exitCounting, "console-start|||||||",
                       "session-resumed|PC1|1|||||its time ran out at 2026-12-09 10:01:00 while the console did not count it",
                       "session-end|PC1|1|||||the station took the session's end"};
    QTest::newRow("the previous run ended without closing")
        << "unclean exit"
        << QStringList{"console-exit|||||||", "console-start|||||||",
                       "unclean-exit|||||2026-12-09 10:00:00||the previous run ended without closing: its start at "
                       "2026-12-09 10:00:00 (row {+2}) has no exit",
                       "console-start|||||||"};
    QTest::newRow("the wall clock set forward")
        << "clock forward"
        << QStringList{"clock-jump||5|||2026-12-09 10:00:10|2026-12-09 10:05:10|the wall clock was set forward by 300 "
                       "seconds against the boot-time clock"};
    QTest::newRow("the wall clock set back")
        << "clock back"
        << QStringList{"clock-jump||-3|||2026-12-09 10:00:20|2026-12-09 09:56:50|the wall clock was set back by 210 "
                       "seconds against the boot-time clock"};
    QTest::newRow("the wall clock moved a little at a time")
        << "clock moved a little at a time"
        << QStringList{"clock-jump||2|||2026-12-09 10:00:20|2026-12-09 10:02:50|the wall clock was set forward by 150 "
                       "seconds against the boot-time clock"};
}

void TestConsoleAudit::eachActionIsRecordedWithItsFields()
{
    QFETCH(QString, action);
    QFETCH(QStringList, recorded);
    act(action);
    if (QTest::currentTestFailed())
        return;

    QStringList seen;
    for (const Audit::Row& r : recordedSinceStart())
        seen.append(described(r));
    static const QRegularExpression serial(QStringLiteral("\\{\\+(\\d+)\\}"));
    for (QString& expected : recorded) {
        const QRegularExpressionMatch match = serial.match(expected);
        if (match.hasMatch())
            expected.replace(match.captured(0), QString::number(m_startSerial + match.captured(1).toLongLong()));
    }
    QCOMPARE(seen, recorded);
    const Audit::Verdict verdict = Audit::verify();
    QVERIFY2(verdict.whole, qPrintable(verdict.message));
    for (const MessageBoxes::Shown& box : m_boxes)
        QVERIFY2(!box.text.contains(QStringLiteral("audit")), qPrintable(box.text));
}

void TestConsoleAudit::anOpeningWhoseRowCannotBeWrittenStillRuns_data()
{
    QTest::addColumn<bool>("fullDisk");
    QTest::addColumn<QString>("cause");
    QTest::newRow("a folder in its place") << false << "It is not a file: a folder or a link is in its place.";
    QTest::newRow("a full disk") << true << "full";
}

void TestConsoleAudit::anOpeningWhoseRowCannotBeWrittenStillRuns()
{
    QFETCH(bool, fullDisk);
    QFETCH(QString, cause);
    const QString folder = m_prefix->local(InstallPaths::AuditDir);
    const QString record = folder + QStringLiteral("/Audit.db");
    const QString filler = folder + QStringLiteral("/filler");
    std::optional<QScopeGuard<std::function<void()>>> unmount;
    if (fullDisk) {
        if (QProcess::execute("mount", {"-t", "tmpfs", "-o", "size=512k", "tmpfs", folder}) != 0)
            QSKIP("a small tmpfs cannot be mounted here (needs root): the full disk is not tried");
        unmount.emplace([&] {
            m_console.reset();
            QProcess::execute("umount", {"-l", folder});
        });
        // The record on the small disk, then the disk filled to its last byte.
        Audit::Event first;
        first.event = Audit::Events::ConsoleStart;
        QVERIFY(!Audit::record(first));
        QFile fill(filler);
        QVERIFY(fill.open(QIODevice::WriteOnly));
        const QByteArray block(4096, 'x');
        while (fill.write(block) == block.size() && fill.flush()) {
        }
    } else {
        for (const QString& file : {record, record + "-wal", record + "-shm"})
            QFile::remove(file);
        QVERIFY(QDir().mkpath(record));
    }

    open(0, "15");
    // The session runs and is billed whatever became of its row.
    QCOMPARE(row(0).minutesDisplay()->text(), QStringLiteral("14"));
    QVERIFY(m_console->tools()->timer(0)->isActive());
    QCOMPARE(LineBuffer(m_prefix->commandFile("PC0")).line(5), QStringLiteral("1"));
    m_console->control()->ledger().open();
    QCOMPARE(m_console->control()->ledger().entries().rowCount(), 1);
    m_console->control()->ledger().close();
    QCOMPARE(m_boxes.size(), 1);
    QCOMPARE(m_boxes.at(0).icon, QMessageBox::Critical);
    QVERIFY2(m_boxes.at(0).text.contains(QStringLiteral("Cannot write the audit record")), qPrintable(m_boxes.at(0).text));
    QVERIFY2(m_boxes.at(0).text.contains(cause), qPrintable(m_boxes.at(0).text));

    if (fullDisk)
        QVERIFY(QFile::remove(filler));
    else
        QVERIFY(QDir().rmdir(record));
    open(1, "10");
    QList<Audit::Row> rows = Audit::rows();
    QVERIFY(rows.size() >= 2);
    rows = rows.mid(rows.size() - 2);
    QCOMPARE(rows.at(0).event.event, Audit::Events::Gap);
    QCOMPARE(rows.at(0).event.newValue, QStringLiteral("1"));
    QVERIFY2(rows.at(0).event.text.contains(Audit::Events::SessionOpen), qPrintable(rows.at(0).event.text));
    QCOMPARE(described(rows.at(1)), "session-open|PC1|10|" + QStringLiteral("ألعاب") + "|5|||tariff 0.5");
    QVERIFY(Audit::verify().whole);
    QCOMPARE(m_boxes.size(), 1);
}

QTEST_MAIN(TestConsoleAudit)

#include "tst_consoleaudit.moc"
