#include "accounting/ui/ControlWindow.h"
#include "app/ui/Console.h"
#include "app/ui/MainWindow.h"
#include "app/ui/ModeChooser.h"
#include "app/ui/StationTools.h"
#include "install/Audit.h"
#include "install/InstallPaths.h"
#include "platform/Clock.h"
#include "platform/Regional.h"
#include "platform/files/LineBuffer.h"
#include "platform/ui/Application.h"
#include "platform/ui/MessageBoxes.h"
#include "sessions/SessionJournal.h"
#include "stations/CommandChannel.h"
#include "stations/ui/StationRow.h"
#include "support/ConsoleFixture.h"

#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QTableView>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <sys/mount.h>
#include <sys/stat.h>
#include <time.h>

namespace {
const QString Failed = QStringLiteral("الإتصال غير قائم حاليا مع الجهاز المطلوب");
const QString InputError = QStringLiteral("يوجد خطأ في إدخال البيانات");
} // namespace

class TestSessions : public QObject, private ConsoleFixture
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void opensAndBills_data();
    void opensAndBills();
    void typedMinutesAreUsedAsTyped_data();
    void typedMinutesAreUsedAsTyped();
    void unusableMinutesChangeNothing_data();
    void unusableMinutesChangeNothing();
    void unsavedTariffIsUsed();
    void aLedgerThatFailsIsReportedAsSuch();
    void openingEmptiesTheControlWindowGrids();
    void aRepeatedPressBillsOnce();
    void unreachableStationCountsOnWithARedLamp();
    void commandFileWithoutTheLinesFails();
    void unusableCommandFilesAreNamed_data();
    void unusableCommandFilesAreNamed();
    void aFileAtTheSizeLimitIsWorkedToTheEnd_data();
    void aFileAtTheSizeLimitIsWorkedToTheEnd();
    void countsDownToTheEndThroughTheTimer();
    void stopsTime();
    void stopWhileUnreachable();
    void escapeStopsTheFirstRowThatCanTakeIt();
    void ticksGoOnUnderAMessageBoxAndAHiddenWindow();
    void journalFollowsOpeningsEndsAndStops();
    void resumesFromTheJournal_data();
    void resumesFromTheJournal();
    void aStationAwayAtTheRestartIsReadWhenBack_data();
    void aStationAwayAtTheRestartIsReadWhenBack();
    void recordsMatchStationsWhateverTheCase_data();
    void recordsMatchStationsWhateverTheCase();
    void anOpeningKilledBeforeItsFirstTickKeepsItsTime_data();
    void anOpeningKilledBeforeItsFirstTickKeepsItsTime();
    void stationsNoRowNamesAreClosedOnceTheyAnswer();
    void aStopThatCannotBeSavedIsSavedLater();
    void theJournalCountsBeforeAModeIsChosen();
    void anUnreadableJournalIsMovedAside_data();
    void anUnreadableJournalIsMovedAside();
    void aLinkedDataFolderIsFollowed();
    void rowsOfOneStationShareItsThread();
    void cardModeStillEndsSessions();
    void aKilledConsoleIsResumed();

private:
    QStringList lines567(const QString& station)
    {
        const LineBuffer file(m_prefix->commandFile(station));
        return {file.line(5), file.line(6), file.line(7)};
    }
    QStringList display(int i) { return {row(i).minutesDisplay()->text(), row(i).secondsDisplay()->text()}; }
    qint64 entryCount()
    {
        Ledger probe;
        probe.entries().OpenTable(InstallPaths::LedgerDir, "DetailDays.DB");
        return probe.entries().rowCount();
    }
    QDateTime inSeconds(qint64 seconds) const { return Clock::now().toUTC().addSecs(seconds); }
    // The journal's sessions, without the boot-time clock of their openings.
    QList<JournalRecord> journal()
    {
        QList<JournalRecord> records = SessionJournal::load();
        for (JournalRecord& r : records) {
            r.bootId.clear();
            r.openedAtMs = 0;
        }
        return records;
    }

    // The stations whose journal record was dropped, as the audit record tells.
    QStringList auditedDrops()
    {
        QStringList stations;
        if (!QFileInfo::exists(Audit::localPath()))
            return stations;
        for (const Audit::Row& r : Audit::rows()) {
            if (r.event.event == Audit::Events::RecordDropped)
                stations.append(r.event.station);
        }
        return stations;
    }
    // The boxes that speak of the journal.
    QStringList journalBoxes() const
    {
        QStringList texts;
        for (const MessageBoxes::Shown& box : m_boxes) {
            if (box.text.contains(QStringLiteral("Sessions.journal")))
                texts.append(box.text);
        }
        return texts;
    }
};

void TestSessions::init()
{
    makeConsoleInstall();
    restartConsole();
    QVERIFY(m_boxes.isEmpty());
}

void TestSessions::cleanup()
{
    closeConsoleInstall();
}

void TestSessions::opensAndBills_data()
{
    QTest::addColumn<int>("rowIndex");
    QTest::addColumn<QString>("minutes");
    QTest::addColumn<bool>("games");
    QTest::addColumn<QStringList>("shown");
    QTest::addColumn<QString>("kind");
    QTest::addColumn<double>("cost");

    QTest::newRow("15 games") << 0 << "15" << true << QStringList{"14", "60"} << "ألعاب" << 7.5;
    QTest::newRow("120 internet") << 2 << "120" << false << QStringList{"119", "60"} << "أنترنيت" << 30.0;
    QTest::newRow("45 typed") << 3 << "45" << true << QStringList{"44", "60"} << "ألعاب" << 22.5;
    QTest::newRow("1 minute") << 1 << "1" << true << QStringList{"0", "60"} << "ألعاب" << 0.5;
}

void TestSessions::opensAndBills()
{
    QFETCH(int, rowIndex);
    QFETCH(QString, minutes);
    QFETCH(bool, games);
    QFETCH(QStringList, shown);
    QFETCH(QString, kind);
    QFETCH(double, cost);
    open(rowIndex, minutes, games);
    QVERIFY(m_boxes.isEmpty());
    QCOMPARE(display(rowIndex), shown);
    QVERIFY(m_console->tools()->timer(rowIndex)->isActive());
    const QString station = QStringLiteral("PC%1").arg(rowIndex);
    QCOMPARE(lines567(station), (QStringList{"1", "0", "0"}));

    Ledger& ledger = m_console->control()->ledger();
    QVERIFY(!ledger.days().isOpen());
    ledger.open();
    QCOMPARE(ledger.entries().rowCount(), 1);
    QCOMPARE(ledger.entries().GetFieldText("DateDay2"), QStringLiteral("09/12/2026"));
    QCOMPARE(ledger.entries().GetFieldText("TimeOperation"), minutes);
    QCOMPARE(ledger.entries().GetFieldText("KandOperation"), kind);
    QCOMPARE(ledger.entries().GetFieldFloat("Cost"), cost);
    QCOMPARE(ledger.entries().GetFieldText("Computer"), station);
    ledger.close();

    // A second session of the same date adds only an entry.
    open(rowIndex == 0 ? 1 : 0, "10");
    ledger.open();
    QCOMPARE(ledger.days().rowCount(), 1);
    QCOMPARE(ledger.entries().rowCount(), 2);
}

void TestSessions::typedMinutesAreUsedAsTyped_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("shownMinutes");
    QTest::addColumn<double>("cost");
    // Each is the start of an item of the list, which must not complete it.
    QTest::newRow("1") << "1"
                       << "0" << 0.5;
    QTest::newRow("3") << "3"
                       << "2" << 1.5;
    QTest::newRow("6") << "6"
                       << "5" << 3.0;
    QTest::newRow("12") << "12"
                        << "11" << 6.0;
    QTest::newRow("45, not in the list") << "45"
                                         << "44" << 22.5;
}

void TestSessions::typedMinutesAreUsedAsTyped()
{
    QFETCH(QString, typed);
    QFETCH(QString, shownMinutes);
    QFETCH(double, cost);
    // Typed as the operator types: into the focused box of the active window, where a completer
    // would act.
    m_console->form1()->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(m_console->form1()));
    QLineEdit* box = row(0).minutesBox()->lineEdit();
    QTest::mouseClick(box, Qt::LeftButton);
    QVERIFY(box->hasFocus());
    QTest::keyClick(box, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(box, typed);
    QTest::mouseClick(row(0).openButton(), Qt::LeftButton);
    QVERIFY(m_boxes.isEmpty());
    QCOMPARE(row(0).minutesBox()->currentText(), typed);
    QCOMPARE(display(0), (QStringList{shownMinutes, "60"}));
    QCOMPARE(lines567("PC0"), (QStringList{"1", "0", "0"}));
    Ledger& ledger = m_console->control()->ledger();
    ledger.open();
    QCOMPARE(ledger.entries().GetFieldText("TimeOperation"), typed);
    QCOMPARE(ledger.entries().GetFieldFloat("Cost"), cost);
}

void TestSessions::unusableMinutesChangeNothing_data()
{
    QTest::addColumn<QString>("minutes");
    QTest::newRow("letters") << "abc";
    QTest::newRow("0") << "0";
    QTest::newRow("-5") << "-5";
    QTest::newRow("beyond the ledger's field") << "40000";
}

void TestSessions::unusableMinutesChangeNothing()
{
    QFETCH(QString, minutes);
    open(0, minutes);
    QCOMPARE(m_boxes.size(), 1);
    QCOMPARE(m_boxes.at(0).text, InputError);
    QCOMPARE(display(0), (QStringList{"00", "00"}));
    QVERIFY(!m_console->tools()->timer(0)->isActive());
    QCOMPARE(lines567("PC0"), (QStringList{"0", "0", "0"}));
    QCOMPARE(entryCount(), 0);
    // Nothing half made is stored by the next session.
    open(1, "15");
    QCOMPARE(m_boxes.size(), 1);
    QCOMPARE(entryCount(), 1);
}

void TestSessions::unsavedTariffIsUsed()
{
    m_console->control()->findChild<QLineEdit*>("Edit3")->setText("2");
    open(0, "10", false);
    m_console->control()->findChild<QLineEdit*>("Edit3")->setText("abc");
    open(1, "10", false);
    // The internet tariff of letters cannot price the session: nothing is opened.
    QCOMPARE(m_boxes.size(), 1);
    QCOMPARE(m_boxes.at(0).text, InputError);
    QVERIFY(!m_console->tools()->timer(1)->isActive());
    QCOMPARE(lines567("PC1").at(0), QStringLiteral("0"));
    Ledger& ledger = m_console->control()->ledger();
    ledger.close();
    ledger.open();
    QCOMPARE(ledger.entries().rowCount(), 1);
    QCOMPARE(ledger.entries().GetFieldFloat("Cost"), 20.0);
}

void TestSessions::aLedgerThatFailsIsReportedAsSuch()
{
    // The station was reached: the operator reads the ledger's reason in the error box.
    QVERIFY(QFile::remove(m_prefix->local(InstallPaths::LedgerDir + "\\DetailDays.DB")));
    open(0, "15");
    QCOMPARE(m_boxes.size(), 1);
    QCOMPARE(m_boxes.at(0).icon, QMessageBox::Critical);
    QVERIFY2(m_boxes.at(0).text.contains("DetailDays"), qPrintable(m_boxes.at(0).text));
    QCOMPARE(display(0), (QStringList{"00", "00"}));
    QVERIFY(!m_console->tools()->timer(0)->isActive());
    QCOMPARE(lines567("PC0"), (QStringList{"0", "0", "0"}));
}

void TestSessions::openingEmptiesTheControlWindowGrids()
{
    open(0, "15");
    QTest::mouseClick(m_console->form1()->findChild<QPushButton*>("BitBtn4"), Qt::LeftButton);
    auto* grid = m_console->control()->findChild<QTableView*>("DBGrid2");
    QCOMPARE(grid->model()->rowCount(), 1);
    open(1, "15");
    QCOMPARE(grid->model()->rowCount(), 0);
    QTest::mouseClick(m_console->control()->findChild<QPushButton*>("BitBtn12"), Qt::LeftButton);
    QCOMPARE(m_boxes.size(), 1);
    QCOMPARE(m_boxes.at(0).icon, QMessageBox::Critical);
    QTest::mouseClick(m_console->form1()->findChild<QPushButton*>("BitBtn4"), Qt::LeftButton);
    QCOMPARE(grid->model()->rowCount(), 2);
}

void TestSessions::aRepeatedPressBillsOnce()
{
    // A double-click: the second press comes once the first opening is done, same minutes and kind.
    open(0, "15");
    open(0, "15");
    QCOMPARE(entryCount(), 1);
    QCOMPARE(display(0), (QStringList{"14", "60"}));
    // New minutes, or the other kind, are a deliberate reopening: a new bill.
    open(0, "20");
    QCOMPARE(entryCount(), 2);
    open(0, "20", false);
    QCOMPARE(entryCount(), 3);
    // The same press later than the moment a double press takes is a new customer too.
    Clock::advanceMonotonicForTests(MainWindow::RepeatWindowMs);
    open(0, "20", false);
    QCOMPARE(entryCount(), 4);
    // As is one after a stop, and another row's press is its own.
    QTest::mouseClick(row(0).timeStopButton(), Qt::LeftButton);
    open(0, "20", false);
    open(1, "20", false);
    QCOMPARE(entryCount(), 6);
    QVERIFY(m_boxes.isEmpty());
}

void TestSessions::unreachableStationCountsOnWithARedLamp()
{
    // A station that cannot be read is not opened: nothing starts, nothing is billed.
    setReachable("PC0", false);
    open(0, "15");
    QCOMPARE(m_boxes.size(), 1);
    QCOMPARE(m_boxes.at(0).text, Failed);
    QCOMPARE(display(0), (QStringList{"00", "00"}));
    QVERIFY(!m_console->tools()->timer(0)->isActive());
    QCOMPARE(entryCount(), 0);

    // A station that goes away during its session is counted on, with a red lamp and no message.
    setReachable("PC0", true);
    open(0, "15");
    QCOMPARE(m_boxes.size(), 1);
    setReachable("PC0", false);
    tick(0);
    QVERIFY(m_console->tools()->timer(0)->isActive());
    QVERIFY(!row(0).lampShowsReachable());
    QCOMPARE(display(0), (QStringList{"14", "59"}));
    QCOMPARE(m_boxes.size(), 1);
    // The buttons stay enabled: only a probe changes them.
    QVERIFY(row(0).timeStopButton()->isEnabled());
}

void TestSessions::commandFileWithoutTheLinesFails()
{
    const QByteArray fiveLines = "0\r\n0\r\n0\r\n0\r\n0";
    m_prefix->addStation("PC0", fiveLines);
    m_prefix->addStation("PC1", fiveLines + "\r\n0");

    // A file without every line a session writes could never be closed: the opening is refused
    // as for an unreachable station, before anything changes.
    for (int i : {0, 1}) {
        open(i, "15");
        QCOMPARE(m_boxes.size(), i + 1);
        QCOMPARE(m_boxes.at(i).text, Failed);
        QCOMPARE(display(i), (QStringList{"00", "00"}));
        QVERIFY(!m_console->tools()->timer(i)->isActive());
    }
    QCOMPARE(entryCount(), 0);
    QCOMPARE(m_prefix->commandFile("PC0"), fiveLines);
    QCOMPARE(m_prefix->commandFile("PC1"), fiveLines + "\r\n0");
    QTest::mouseClick(row(0).timeStopButton(), Qt::LeftButton);
    QCOMPARE(m_boxes.size(), 3);
    QCOMPARE(m_boxes.at(2).text, Failed);
    QCOMPARE(m_prefix->commandFile("PC0"), fiveLines);
}

void TestSessions::unusableCommandFilesAreNamed_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("2 MiB") << "big";
    QTest::newRow("a folder") << "folder";
    QTest::newRow("a link out of the share") << "link";
    QTest::newRow("a FIFO") << "fifo";
}

void TestSessions::unusableCommandFilesAreNamed()
{
    QFETCH(QString, kind);
    const QString path = m_prefix->local(CommandChannel::commandFilePath("PC0"));
    QVERIFY(QFile::remove(path));
    QTemporaryDir outside;
    const QByteArray eight = "0\r\n0\r\n0\r\n0\r\n0\r\n0\r\n0\r\n0";
    if (kind == "big") {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        QVERIFY(file.write(eight + "\r\n" + QByteArray(2 * 1024 * 1024, 'x')) > 0);
    } else if (kind == "folder") {
        QVERIFY(QDir().mkpath(path));
    } else if (kind == "link") {
        QFile target(outside.path() + "/command.inf");
        QVERIFY(target.open(QIODevice::WriteOnly) && target.write(eight) > 0);
        target.close();
        QVERIFY(QFile::link(target.fileName(), path));
    } else {
        QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    }

    // The station answered: each command says what is wrong with which file, not "no connection".
    const QString named = StationFileMessage("PC0");
    QTest::mouseClick(row(0).stopButton(), Qt::LeftButton);
    open(0, "15");
    QTest::mouseClick(row(0).timeStopButton(), Qt::LeftButton);
    QCOMPARE(m_boxes.size(), 3);
    for (const MessageBoxes::Shown& box : m_boxes)
        QCOMPARE(box.text, named);
    QVERIFY(named.contains("PC0") && named.contains("command.inf"));
    QCOMPARE(entryCount(), 0);
    QVERIFY(!row(0).lampShowsReachable()); // the stop's "0" is owed
    if (kind == "link")
        QCOMPARE(QFile(outside.path() + "/command.inf").size(), eight.size());
}

void TestSessions::aFileAtTheSizeLimitIsWorkedToTheEnd_data()
{
    QTest::addColumn<int>("size");
    QTest::newRow("1 MiB") << 1024 * 1024;
    QTest::newRow("1 MiB - 1") << 1024 * 1024 - 1;
}

void TestSessions::aFileAtTheSizeLimitIsWorkedToTheEnd()
{
    // Lines 1 and 4, which the console never writes, fill the file up to the size; line 7 is
    // empty, so every write of the console makes the file grow.
    QFETCH(int, size);
    const QByteArray head = "0\r\n";
    const QByteArray tail = "\r\n0\r\n0\r\n0\r\n0\r\n0\r\n";
    m_prefix->addStation("PC0", head + QByteArray(size - head.size() - tail.size(), 'x') + tail);
    QCOMPARE(m_prefix->commandFile("PC0").size(), size);
    open(0, "15");
    tick(0, 3);
    QTest::mouseClick(row(0).stopButton(), Qt::LeftButton);
    QTest::mouseClick(row(0).timeStopButton(), Qt::LeftButton);
    QVERIFY(m_boxes.isEmpty());
    QVERIFY(row(0).lampShowsReachable());
    QCOMPARE(lines567("PC0"), (QStringList{"0", "57", "14"}));
    QVERIFY(m_prefix->commandFile("PC0").size() > size);
}

void TestSessions::countsDownToTheEndThroughTheTimer()
{
    open(0, "1");
    tick(0, 60);
    QCOMPARE(display(0), (QStringList{"0", "0"}));
    QCOMPARE(lines567("PC0"), (QStringList{"1", "0", "0"}));
    tick(0);
    QCOMPARE(display(0), (QStringList{"--", "--"}));
    QVERIFY(!m_console->tools()->timer(0)->isActive());
    QCOMPARE(lines567("PC0"), (QStringList{"0", "--", "--"}));
    QVERIFY(row(0).lampShowsReachable());
}

void TestSessions::stopsTime()
{
    open(0, "10");
    tick(0, 157);
    QCOMPARE(display(0), (QStringList{"7", "23"}));
    QTest::mouseClick(row(0).timeStopButton(), Qt::LeftButton);
    QCOMPARE(display(0), (QStringList{"--", "--"}));
    QVERIFY(!m_console->tools()->timer(0)->isActive());
    QCOMPARE(lines567("PC0"), (QStringList{"0", "23", "7"}));
    QCOMPARE(entryCount(), 1);

    // A row never opened.
    QTest::mouseClick(row(1).timeStopButton(), Qt::LeftButton);
    QCOMPARE(display(1), (QStringList{"--", "--"}));
    QCOMPARE(lines567("PC1"), (QStringList{"0", "0", "0"}));
    QVERIFY(m_boxes.isEmpty());
}

void TestSessions::stopWhileUnreachable()
{
    open(0, "10");
    tick(0, 3);
    setReachable("PC0", false);
    QTest::mouseClick(row(0).timeStopButton(), Qt::LeftButton);
    QCOMPARE(m_boxes.size(), 1);
    QCOMPARE(m_boxes.at(0).text, Failed);
    // The "0" is owed: the row does not look closed, the timer goes on to deliver it and the lamp
    // says the station is away.
    const QString owed = StationTools::owedCloseCaption();
    QCOMPARE(display(0), (QStringList{owed, owed}));
    QCOMPARE(row(0).remainingCaption()->text(), StationTools::owedCloseHeading());
    QVERIFY(m_console->tools()->timer(0)->isActive());
    QVERIFY(!row(0).lampShowsReachable());
    setReachable("PC0", true);
    QCOMPARE(lines567("PC0"), (QStringList{"1", "57", "9"}));
    // A refresh that finds the station delivers it at once.
    QTest::mouseClick(row(0).refreshButton(), Qt::LeftButton);
    QCOMPARE(lines567("PC0"), (QStringList{"0", "57", "9"}));
    QVERIFY(!m_console->tools()->timer(0)->isActive());
    QVERIFY(row(0).lampShowsReachable());
    QCOMPARE(display(0), (QStringList{"--", "--"}));
    QCOMPARE(row(0).remainingCaption()->text(), QStringLiteral("الوقت المتبقي"));
    QCOMPARE(m_boxes.size(), 1);

    // So does any command the station takes, log-off say.
    open(1, "10");
    setReachable("PC1", false);
    QTest::mouseClick(row(1).timeStopButton(), Qt::LeftButton);
    setReachable("PC1", true);
    QTest::mouseClick(row(1).exitButton(), Qt::LeftButton);
    m_console->tools()->settle(1);
    QCOMPARE(lines567("PC1").at(0), QStringLiteral("0"));
    QCOMPARE(LineBuffer(m_prefix->commandFile("PC1")).line(CommandChannel::LogOffLine), QStringLiteral("1"));
    QVERIFY(!m_console->tools()->timer(1)->isActive());
    QCOMPARE(m_boxes.size(), 2);
}

void TestSessions::escapeStopsTheFirstRowThatCanTakeIt()
{
    for (int i = 0; i < 4; ++i)
        open(i, "10");
    row(0).timeStopButton()->setEnabled(false);
    row(3).openButton()->setFocus();
    QTest::keyClick(m_console->form1(), Qt::Key_Escape);
    QCOMPARE(display(0), (QStringList{"9", "60"}));
    QCOMPARE(display(1), (QStringList{"--", "--"}));
    QCOMPARE(display(3), (QStringList{"9", "60"}));
    QCOMPARE(lines567("PC1"), (QStringList{"0", "0", "0"}));
}

void TestSessions::ticksGoOnUnderAMessageBoxAndAHiddenWindow()
{
    m_console->tools()->timer(0)->setInterval(10);
    // Each of these quick ticks stands for a second.
    connect(m_console->tools()->timer(0), &QTimer::timeout, this, [] { Clock::advanceMonotonicForTests(1000); });
    open(0, "10");
    m_console->form1()->close();
    QVERIFY(!m_console->form1()->isVisible());
    QTRY_VERIFY(lines567("PC0").at(1).toInt() <= 55);

    // A real box, opened by a failing command on another row, does not stop the countdown.
    MessageBoxes::setRecorderForTests({});
    setReachable("PC1", false);
    QSignalSpy ticks(m_console->tools()->timer(0), &QTimer::timeout);
    qsizetype ticksUnderTheBox = 0;
    QByteArray fileUnderTheBox;
    QTimer::singleShot(300, [&] {
        ticksUnderTheBox = ticks.size();
        fileUnderTheBox = m_prefix->commandFile("PC0");
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget()))
            box->button(QMessageBox::Ok)->click();
    });
    const QByteArray before = m_prefix->commandFile("PC0");
    m_console->form1()->BitBtnStopClick(1);
    QVERIFY2(ticksUnderTheBox > 5, qPrintable(QString::number(ticksUnderTheBox)));
    QVERIFY(fileUnderTheBox != before);
}

void TestSessions::journalFollowsOpeningsEndsAndStops()
{
    QVERIFY(SessionJournal::load().isEmpty());
    open(0, "10");
    // Not one tick written yet: the station's counters are not this session's.
    const JournalRecord pc0{"PC0", inSeconds(600), 10, false, {}, 0, false};
    QCOMPARE(journal(), QList<JournalRecord>{pc0});
    // Measured on this boot's clock from its opening on.
    QCOMPARE(SessionJournal::load().at(0).bootId, Clock::bootId());
    QCOMPARE(SessionJournal::load().at(0).openedAtMs, m_console->tools()->countdown(0).startedAtMs);
    // Only the first written tick touches it; a session that ends by itself leaves it.
    open(1, "1");
    tick(1);
    QVERIFY(SessionJournal::load().at(1).countersWritten);
    const QByteArray afterFirstTick = m_prefix->readFile(InstallPaths::SessionJournal);
    tick(1, 59);
    QCOMPARE(m_prefix->readFile(InstallPaths::SessionJournal), afterFirstTick);
    tick(1);
    QCOMPARE(journal(), QList<JournalRecord>{pc0});
    QTest::mouseClick(row(0).timeStopButton(), Qt::LeftButton);
    QVERIFY(SessionJournal::load().isEmpty());

    // A stop the station did not take stays in the journal as an owed "0" until delivered.
    open(2, "5");
    setReachable("PC2", false);
    QTest::mouseClick(row(2).timeStopButton(), Qt::LeftButton);
    QCOMPARE(journal(), (QList<JournalRecord>{{"PC2", inSeconds(300), 5, true, {}, 0, false}}));
    setReachable("PC2", true);
    QTest::mouseClick(row(2).refreshButton(), Qt::LeftButton);
    QVERIFY(SessionJournal::load().isEmpty());
    QCOMPARE(lines567("PC2").at(0), QStringLiteral("0"));
}

void TestSessions::resumesFromTheJournal_data()
{
    QTest::addColumn<int>("paidEndIn"); // seconds from now; INT_MIN: no record
    QTest::addColumn<bool>("owesZero");
    QTest::addColumn<QStringList>("file"); // lines 5 to 7 of the station's file; empty: station away
    QTest::addColumn<QStringList>("shown");
    QTest::addColumn<QStringList>("fileAfter"); // a station that answers is sent its time at once
    QTest::addColumn<bool>("reported");         // named in the message of uncounted stations

    const QStringList open15{"1", "0", "15"};
    QTest::newRow("file agrees") << 900 << false << open15 << QStringList{"15", "0"} << open15 << false;
    QTest::newRow("file shows less") << 900 << false << QStringList{"1", "30", "5"} << QStringList{"5", "30"}
                                     << QStringList{"1", "30", "5"} << false;
    QTest::newRow("file edited to more") << 300 << false << QStringList{"1", "0", "50"} << QStringList{"5", "0"}
                                         << QStringList{"1", "0", "5"} << false;
    QTest::newRow("counters not numbers") << 300 << false << QStringList{"1", "--", "x"} << QStringList{"5", "0"}
                                          << QStringList{"1", "0", "5"} << false;
    QTest::newRow("counters out of range") << 300 << false << QStringList{"1", "75", "2"} << QStringList{"5", "0"}
                                           << QStringList{"1", "0", "5"} << false;
    QTest::newRow("time ran out") << -10 << false << QStringList{"1", "3", "0"} << QStringList{"--", "--"}
                                  << QStringList{"0", "--", "--"} << false;
    QTest::newRow("file says none left") << 300 << false << QStringList{"1", "0", "0"} << QStringList{"--", "--"}
                                         << QStringList{"0", "--", "--"} << false;
    QTest::newRow("zero owed") << 300 << true << QStringList{"1", "3", "0"} << QStringList{"--", "--"}
                               << QStringList{"0", "3", "0"} << false;
    // Stopped, the stop's journal save lost (a full disk, a kill): the station stays closed.
    QTest::newRow("flag down, the stop not saved")
        << 300 << false << QStringList{"0", "3", "4"} << QStringList{"00", "00"} << QStringList{"0", "3", "4"} << false;
    QTest::newRow("flag down, zero owed") << 300 << true << QStringList{"0", "3", "0"} << QStringList{"00", "00"}
                                          << QStringList{"0", "3", "0"} << false;
    QTest::newRow("station away") << 300 << false << QStringList() << QStringList{"5", "0"} << QStringList{"1", "3", "4"}
                                  << false;
    // The wall clock was set back ten years after the opening: no more than the 15 minutes bought.
    QTest::newRow("station away, clock set back")
        << 10 * 365 * 86400 << false << QStringList() << QStringList{"15", "0"} << QStringList{"1", "3", "4"} << false;
    QTest::newRow("clock set back, file agrees")
        << 10 * 365 * 86400 << false << open15 << QStringList{"15", "0"} << open15 << false;
    QTest::newRow("no record, flag raised") << INT_MIN << false << QStringList{"1", "3", "4"} << QStringList{"00", "00"}
                                            << QStringList{"1", "3", "4"} << true;
    QTest::newRow("no record, flag down") << INT_MIN << false << QStringList{"0", "3", "4"} << QStringList{"00", "00"}
                                          << QStringList{"0", "3", "4"} << false;
}

void TestSessions::resumesFromTheJournal()
{
    QFETCH(int, paidEndIn);
    QFETCH(bool, owesZero);
    QFETCH(QStringList, file);
    QFETCH(QStringList, shown);
    QFETCH(QStringList, fileAfter);
    QFETCH(bool, reported);

    m_console.reset();
    const QStringList lines = file.isEmpty() ? QStringList{"1", "3", "4"} : file;
    m_prefix->addStation("PC1", "0\r\n0\r\n0\r\n0\r\n0\r\n" + lines.join("\r\n").toLatin1());
    if (file.isEmpty())
        setReachable("PC1", false);
    QList<JournalRecord> records;
    if (paidEndIn != INT_MIN)
        records.append({"PC1", inSeconds(paidEndIn), 15, owesZero});
    SessionJournal::save(records);

    restartConsole();
    QCOMPARE(display(1), shown);
    const bool counting = shown.at(0) != "--" && shown.at(0) != "00";
    QCOMPARE(m_console->tools()->timer(1)->isActive(), counting || file.isEmpty());
    QCOMPARE(row(1).lampShowsReachable(), !file.isEmpty());
    // The message comes once the window is up.
    QCOMPARE(m_boxes.size(), 0);
    QCoreApplication::processEvents();
    QCOMPARE(m_boxes.size(), reported ? 1 : 0);
    if (reported)
        QCOMPARE(m_boxes.at(0).text, MainWindow::uncountedStationsMessage() + "\nPC1");
    // Nothing is billed again.
    QCOMPARE(entryCount(), 0);
    if (file.isEmpty())
        setReachable("PC1", true);
    QCOMPARE(lines567("PC1"), fileAfter);
    QCOMPARE(SessionJournal::load().size(), counting || file.isEmpty() ? 1 : 0);
    const bool dropped = paidEndIn != INT_MIN && !file.isEmpty() && file.at(0) == "0";
    QCOMPARE(auditedDrops(), dropped ? QStringList{"PC1"} : QStringList());
    // The other rows did not start anything.
    QVERIFY(!m_console->tools()->timer(0)->isActive());
}

void TestSessions::aStationAwayAtTheRestartIsReadWhenBack_data()
{
    QTest::addColumn<QString>("flag"); // in the station's file, with 5:30 on its counters
    QTest::addColumn<QStringList>("shown");
    QTest::newRow("with less time") << "1" << QStringList{"5", "30"};
    // Stopped, the stop's journal save lost: the session ends there, and nothing is written to it.
    QTest::newRow("stopped meanwhile") << "0" << QStringList{"--", "--"};
}

void TestSessions::aStationAwayAtTheRestartIsReadWhenBack()
{
    // Away at the show, so its file could not be read: the journal's 15 minutes count on until it
    // answers, and then it is given no more than its file showed.
    QFETCH(QString, flag);
    QFETCH(QStringList, shown);
    const bool counting = flag == "1";
    m_console.reset();
    m_prefix->addStation("PC1", "0\r\n0\r\n0\r\n0\r\n0\r\n" + flag.toLatin1() + "\r\n30\r\n5");
    setReachable("PC1", false);
    SessionJournal::save({{"PC1", inSeconds(900), 15, false}});
    restartConsole();
    QCOMPARE(display(1), (QStringList{"15", "0"}));
    setReachable("PC1", true);
    tick(1);
    QCOMPARE(display(1), shown);
    QCOMPARE(lines567("PC1"), (QStringList{flag, "30", "5"}));
    QCOMPARE(m_console->tools()->timer(1)->isActive(), counting);
    QCOMPARE(SessionJournal::load().size(), counting ? 1 : 0);
    QCOMPARE(auditedDrops(), counting ? QStringList() : QStringList{"PC1"});
    if (counting) {
        // The lesser time went out again while the next tick came: that one follows it.
        tick(1);
        QTRY_COMPARE(lines567("PC1"), (QStringList{"1", "29", "5"}));
    }
    QCOMPARE(entryCount(), 0);
}

void TestSessions::recordsMatchStationsWhateverTheCase_data()
{
    QTest::addColumn<QString>("rostered");
    QTest::addColumn<QString>("recorded");
    QTest::newRow("roster lower case") << "pc1"
                                       << "PC1";
    QTest::newRow("record lower case") << "PC1"
                                       << "pc1";
}

void TestSessions::recordsMatchStationsWhateverTheCase()
{
    QFETCH(QString, rostered);
    QFETCH(QString, recorded);
    m_console.reset();
    m_prefix->writeFile(InstallPaths::InstallRoot + "\\commandServer\\ComputersConect.inf", "PC0\r\n" + rostered.toLatin1());
    m_prefix->addStation("PC1", "0\r\n0\r\n0\r\n0\r\n0\r\n1\r\n0\r\n15");
    SessionJournal::save({{recorded, inSeconds(900), 15, false}});
    restartConsole();
    QCOMPARE(display(1), (QStringList{"15", "0"}));
    QCoreApplication::processEvents();
    QVERIFY(m_boxes.isEmpty());
    // One record, under the row's name; stopping it leaves none behind.
    QCOMPARE(journal(), (QList<JournalRecord>{{rostered, inSeconds(900), 15, false}}));
    QTest::mouseClick(row(1).timeStopButton(), Qt::LeftButton);
    QVERIFY(SessionJournal::load().isEmpty());
}

void TestSessions::anOpeningKilledBeforeItsFirstTickKeepsItsTime_data()
{
    QTest::addColumn<QStringList>("counters"); // seconds and minutes in the station's file before the opening
    QTest::newRow("the file's own zeros") << QStringList{"0", "0"};
    QTest::newRow("an earlier session's leftover") << QStringList{"30", "2"};
    QTest::newRow("an earlier session's end") << QStringList{"--", "--"};
}

void TestSessions::anOpeningKilledBeforeItsFirstTickKeepsItsTime()
{
    QFETCH(QStringList, counters);
    const QString seconds = counters.at(0);
    const QString minutes = counters.at(1);
    m_console.reset();
    m_prefix->addStation("PC0", "0\r\n0\r\n0\r\n0\r\n0\r\n0\r\n" + seconds.toLatin1() + "\r\n" + minutes.toLatin1());
    restartConsole();
    open(0, "10");
    QCOMPARE(lines567("PC0"), (QStringList{"1", seconds, minutes}));
    // Gone before its first tick: the counters in the file are not this session's.
    restartConsole();
    QCOMPARE(display(0), (QStringList{"10", "0"}));
    QVERIFY(m_console->tools()->timer(0)->isActive());
    tick(0);
    QCOMPARE(lines567("PC0"), (QStringList{"1", "59", "9"}));
    QVERIFY(SessionJournal::load().value(0).countersWritten);
    // From then on the file's counters count: edited down, they are what a restart takes.
    m_prefix->addStation("PC0", "0\r\n0\r\n0\r\n0\r\n0\r\n1\r\n0\r\n4");
    restartConsole();
    QCOMPARE(display(0), (QStringList{"4", "0"}));
    QCOMPARE(entryCount(), 1);
}

void TestSessions::stationsNoRowNamesAreClosedOnceTheyAnswer()
{
    m_console.reset();
    for (const char* name : {"PC8", "PC9"})
        m_prefix->addStation(name, "0\r\n0\r\n0\r\n0\r\n0\r\n1\r\n3\r\n4");
    setReachable("PC8", false);
    m_prefix->addStation("PC1", "0\r\n0\r\n0\r\n0\r\n0\r\n1\r\n0\r\n15");
    const JournalRecord pc1{"PC1", inSeconds(900), 15, false};
    SessionJournal::save({{"PC9", inSeconds(600), 10, false}, pc1, {"PC8", inSeconds(-60), 10, false}});
    restartConsole();
    QCOMPARE(display(1), (QStringList{"15", "0"}));
    QCoreApplication::processEvents();
    QCOMPARE(m_boxes.size(), 1);
    QCOMPARE(m_boxes.at(0).text, StationTools::unnamedStationsMessage() + "\nPC9\nPC8");
    // PC9 answers: its "0" goes at once and its record with it. PC8's stays, owed its "0".
    QTRY_COMPARE(lines567("PC9"), (QStringList{"0", "3", "4"}));
    QTRY_COMPARE(journal(), (QList<JournalRecord>{pc1, {"PC8", inSeconds(-60), 10, true}}));
    QVERIFY(m_console->tools()->retryTimer()->isActive());
    m_console->tools()->retryOwed();
    QTest::qWait(50);
    QCOMPARE(journal().size(), 2);
    setReachable("PC8", true);
    m_console->tools()->retryOwed();
    QTRY_COMPARE(journal(), QList<JournalRecord>{pc1});
    QCOMPARE(lines567("PC8"), (QStringList{"0", "3", "4"}));
    QCOMPARE(auditedDrops(), (QStringList{"PC9", "PC8"}));
    m_console->tools()->retryOwed();
    QVERIFY(!m_console->tools()->retryTimer()->isActive());
    // Named once: the show names them no more.
    QCOMPARE(m_boxes.size(), 1);
}

namespace {
// A small tmpfs over a folder for the test's life: a disk that can be filled.
struct SmallDisk
{
    explicit SmallDisk(const QString& folder)
        : path(QFile::encodeName(folder))
    {
        mounted = ::mount("tmpfs", path.constData(), "tmpfs", 0, "size=64k") == 0;
    }
    ~SmallDisk()
    {
        if (mounted)
            ::umount2(path.constData(), MNT_DETACH);
    }
    SmallDisk(const SmallDisk&) = delete;
    SmallDisk& operator=(const SmallDisk&) = delete;
    QByteArray path;
    bool mounted = false;
};
} // namespace

void TestSessions::aStopThatCannotBeSavedIsSavedLater()
{
    // Two sessions, so that the journal after the stop is not empty (an empty one needs no space).
    open(0, "10");
    open(1, "5");
    tick(0);
    const QString journalPath = m_prefix->local(InstallPaths::SessionJournal);
    const QByteArray before = m_prefix->readFile(InstallPaths::SessionJournal);
    SmallDisk disk(QFileInfo(journalPath).absolutePath());
    if (!disk.mounted)
        QSKIP("mounting a small tmpfs is not permitted here (it needs root): a full disk cannot be made");
    m_prefix->writeFile(InstallPaths::SessionJournal, before);
    QFile filler(QFileInfo(journalPath).absolutePath() + "/filler");
    QVERIFY(filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered));
    while (filler.write(QByteArray(4096, 'x')) > 0) {
    }
    filler.close();

    QTest::mouseClick(row(0).timeStopButton(), Qt::LeftButton);
    QCOMPARE(lines567("PC0").at(0), QStringLiteral("0"));
    QCOMPARE(journalBoxes().size(), 1);
    const QString text = journalBoxes().at(0);
    QVERIFY2(text.contains(QStringLiteral("القرص ممتلئ")) && text.contains(QStringLiteral("لن تُستأنف")), qPrintable(text));
    // The old journal stands whole until the stop is saved; tried again, told once.
    QCOMPARE(SessionJournal::load().size(), 2);
    QVERIFY(m_console->tools()->retryTimer()->isActive());
    m_console->tools()->retryOwed();
    QCOMPARE(journalBoxes().size(), 1);
    QVERIFY(filler.remove());
    m_console->tools()->retryOwed();
    QCOMPARE(SessionJournal::load().size(), 1);
    QCOMPARE(SessionJournal::load().at(0).station, QStringLiteral("PC1"));
    QVERIFY(!m_console->tools()->retryTimer()->isActive());
}

void TestSessions::theJournalCountsBeforeAModeIsChosen()
{
    // A console started unattended after a power cut: nobody chooses a mode.
    m_console.reset();
    m_prefix->addStation("PC0", "0\r\n0\r\n0\r\n0\r\n0\r\n1\r\n3\r\n0");
    m_prefix->addStation("PC2", "0\r\n0\r\n0\r\n0\r\n0\r\n1\r\n0\r\n5");
    const JournalRecord running{"PC2", inSeconds(300), 10, false};
    SessionJournal::save({{"PC0", inSeconds(-10), 10, false}, running});
    m_console = std::make_unique<Console>();
    m_console->form6()->show();
    QVERIFY(!m_console->form1()->modeChosen());
    // The session whose paid end passed is closed, the other one counts on its row's timer.
    QCOMPARE(lines567("PC0"), (QStringList{"0", "--", "--"}));
    QVERIFY(!m_console->tools()->timer(0)->isActive());
    QVERIFY(m_console->tools()->timer(2)->isActive());
    tick(2);
    QCOMPARE(lines567("PC2"), (QStringList{"1", "59", "4"}));
    QCOMPARE(journal(), QList<JournalRecord>{running});
    // The show displays them, billing and resuming nothing again.
    m_console->form6()->BitBtn3Click();
    QCOMPARE(display(2), (QStringList{"4", "59"}));
    QCOMPARE(display(0), (QStringList{"--", "--"}));
    QVERIFY(m_boxes.isEmpty());
    tick(2);
    QCOMPARE(lines567("PC2"), (QStringList{"1", "58", "4"}));
    QCOMPARE(entryCount(), 0);
}

void TestSessions::anUnreadableJournalIsMovedAside_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("a folder") << "folder";
    QTest::newRow("larger than 1 MiB") << "big";
    QTest::newRow("a link that leads nowhere") << "dangling";
}

void TestSessions::anUnreadableJournalIsMovedAside()
{
    QFETCH(QString, kind);
    m_console.reset();
    m_prefix->addStation("PC1", "0\r\n0\r\n0\r\n0\r\n0\r\n1\r\n3\r\n4");
    const QString path = m_prefix->local(InstallPaths::SessionJournal);
    if (kind == "folder") {
        QVERIFY(QDir().mkpath(path));
    } else if (kind == "big") {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        QVERIFY(file.write(QByteArray(1024 * 1024 + 1, '\n')) > 0);
    } else {
        QVERIFY(QFile::link(path + ".gone", path));
    }
    restartConsole();
    // The cause, and where the journal went; then the open station, which nobody counts now.
    QCOMPARE(m_boxes.size(), 1);
    QCOMPARE(m_boxes.at(0).icon, QMessageBox::Critical);
    QVERIFY2(m_boxes.at(0).text.contains(QStringLiteral("لا تُستأنف")), qPrintable(m_boxes.at(0).text));
    const QStringList aside = QFileInfo(path).dir().entryList({"Sessions.journal.*.unreadable"}, QDir::AllEntries | QDir::System);
    QCOMPARE(aside.size(), 1);
    QVERIFY2(m_boxes.at(0).text.contains("Sessions.journal") && m_boxes.at(0).text.contains(aside.at(0)),
             qPrintable(m_boxes.at(0).text));
    QCoreApplication::processEvents();
    QCOMPARE(m_boxes.size(), 2);
    QCOMPARE(m_boxes.at(1).text, MainWindow::uncountedStationsMessage() + "\nPC1");
    // A new journal keeps this run's sessions.
    open(0, "10");
    QCOMPARE(journal(), (QList<JournalRecord>{{"PC0", inSeconds(600), 10, false, {}, 0, false}}));
    tick(0);
    restartConsole();
    QVERIFY(m_console->tools()->timer(0)->isActive());
    QCOMPARE(m_boxes.size(), 2);
}

void TestSessions::aLinkedDataFolderIsFollowed()
{
    // The journal kept on another disk, its Data folder reached through a link.
    m_console.reset();
    QTemporaryDir elsewhere;
    const QString data = QFileInfo(m_prefix->local(InstallPaths::SessionJournal)).absolutePath();
    QVERIFY(QDir().rename(data, elsewhere.path() + "/Data"));
    QVERIFY(QFile::link(elsewhere.path() + "/Data", data));
    m_prefix->addStation("PC0", "0\r\n0\r\n0\r\n0\r\n0\r\n1\r\n0\r\n10");
    const QList<JournalRecord> records{{"PC0", inSeconds(600), 10, false}};
    SessionJournal::save(records);
    QVERIFY(QFileInfo(elsewhere.path() + "/Data/Sessions.journal").isFile());
    QCOMPARE(SessionJournal::load(), records);
    restartConsole();
    QVERIFY2(m_boxes.isEmpty(), qPrintable(m_boxes.value(0).text));
    QVERIFY(m_console->tools()->timer(0)->isActive());
    QCOMPARE(display(0), (QStringList{"10", "0"}));
    QTest::mouseClick(row(0).timeStopButton(), Qt::LeftButton);
    QVERIFY(SessionJournal::load().isEmpty());
}

void TestSessions::rowsOfOneStationShareItsThread()
{
    // Two rows of one station (its name spelt two ways): their writes take turns on one thread, so
    // neither's read-modify-write of the file can put back a flag the other has just lowered.
    m_console.reset();
    m_prefix->writeFile(InstallPaths::InstallRoot + "\\commandServer\\ComputersConect.inf", "PC0\r\npc0\r\nPC1");
    restartConsole();
    auto threadOf = [this](int i) {
        QThread* thread = nullptr;
        m_console->tools()->runner(i)([&] { thread = QThread::currentThread(); });
        return thread;
    };
    QCOMPARE(threadOf(0), threadOf(1));
    QVERIFY(threadOf(0) != threadOf(2));
    QVERIFY(threadOf(0) != QThread::currentThread());
    open(0, "1");
    open(1, "2");
    for (int n = 0; n < 61; ++n) {
        Clock::advanceMonotonicForTests(1000);
        m_console->tools()->TimerTimer(0);
        m_console->tools()->TimerTimer(1);
    }
    // The end waits for the write of the other row that holds the thread, then goes with the next tick.
    m_console->tools()->settle(0);
    tick(0);
    // Row 0's session ended; its "0" stands, written after row 1's counters, never under them.
    QCOMPARE(display(0), (QStringList{"--", "--"}));
    QCOMPARE(lines567("PC0").at(0), QStringLiteral("0"));
}

void TestSessions::cardModeStillEndsSessions()
{
    m_console.reset();
    m_prefix->addStation("PC0", "0\r\n0\r\n0\r\n0\r\n0\r\n1\r\n0\r\n2");
    SessionJournal::save({{"PC0", inSeconds(120), 10, false}});
    restartConsole(true);
    QVERIFY(!row(0).minutesDisplay()->isVisible());
    QVERIFY(m_console->tools()->timer(0)->isActive());
    Clock::advanceMonotonicForTests(121'000);
    tick(0);
    QCOMPARE(lines567("PC0"), (QStringList{"0", "--", "--"}));
    QVERIFY(!m_console->tools()->timer(0)->isActive());
    QVERIFY(SessionJournal::load().isEmpty());
}

void TestSessions::aKilledConsoleIsResumed()
{
    // Another console, in a process of its own, opens 10 minutes on PC0 and is killed outright.
    m_console.reset();
    Clock::setFixed({});
    // The other console's opening is on the machine's own boot-time clock, which this one reads too.
    Clock::holdMonotonicForTests(false);
    timespec boot{};
    clock_gettime(CLOCK_BOOTTIME, &boot);
    Clock::advanceMonotonicForTests(qint64(boot.tv_sec) * 1000 + boot.tv_nsec / 1'000'000 - Clock::monotonicMs());
    QProcess other;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QUORVEL_SESSION_CHILD", "1");
    other.setProcessEnvironment(env);
    other.start(QCoreApplication::applicationFilePath(), {});
    QVERIFY(other.waitForStarted());
    QTRY_VERIFY_WITH_TIMEOUT(
        lines567("PC0").at(0) == "1" && lines567("PC0").at(1).toInt() <= 57 && lines567("PC0").at(1).toInt() > 0, 30'000);
    other.kill();
    QVERIFY(other.waitForFinished());
    const QStringList atKill = lines567("PC0");
    QCOMPARE(SessionJournal::load().size(), 1);

    restartConsole();
    QVERIFY(m_console->tools()->timer(0)->isActive());
    // No more than the file showed: the time since its last write is gone too.
    QCOMPARE(display(0).at(0), atKill.at(2));
    QVERIFY(display(0).at(1).toInt() <= atKill.at(1).toInt());
    // Within the first second of the window the station is counted again.
    QTRY_VERIFY_WITH_TIMEOUT(lines567("PC0") != atKill, 2000);
    QCOMPARE(lines567("PC0").at(0), QStringLiteral("1"));
    QVERIFY(lines567("PC0").at(1).toInt() < atKill.at(1).toInt());
    QCOMPARE(entryCount(), 1);
}

// The other console of aKilledConsoleIsResumed: opens a session and counts until killed.
int runOtherConsole(int argc, char** argv)
{
    Application app(argc, argv, QStringLiteral("QuorvelServer"));
    MessageBoxes::setRecorderForTests([](const MessageBoxes::Shown&) {});
    Console console;
    console.form6()->show();
    console.form6()->BitBtn3Click();
    StationRow& row = console.form1()->row(0);
    row.minutesBox()->setCurrentText("10");
    row.openButton()->click();
    return app.exec();
}

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsSet("QUORVEL_SESSION_CHILD"))
        return runOtherConsole(argc, argv);
    Application app(argc, argv, QStringLiteral("QuorvelServer"));
    TestSessions test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_sessions.moc"
