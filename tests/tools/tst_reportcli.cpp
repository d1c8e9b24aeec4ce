#include "install/SessionKind.h"
#include "install/Tables.h"
#include "support/SampleLedger.h"
#include "support/TestPrefix.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

namespace {

// A date as the program writes it under the C locale.
QString cDate(int day)
{
    return QLocale::c().toString(QDate(2026, 12, day), QLocale::c().dateFormat(QLocale::ShortFormat));
}

struct Run
{
    int exitCode = -1;
    QByteArray out, err;
};

} // namespace

class TestReportCli : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void refuses_data();
    void refuses();
    void writesCsvToStandardOutput();
    void writesThePdfToAFile();

private:
    Run run(const QStringList& args);
    std::optional<TestPrefix> m_prefix;
};

void TestReportCli::init()
{
    m_prefix.emplace();
    m_prefix->makeTables();
    // The program runs under the C locale and reads the days in its short date format.
    SampleLedger::store({{cDate(5), "10:00:00", 30, SessionKind::GamesWord, 15, "PC01"},
                         {cDate(6), "22:00:00", 60, SessionKind::InternetWord, 15, "=PC02"}},
                        {cDate(5) + "=15", cDate(6) + "=15"});
}

void TestReportCli::cleanup()
{
    m_prefix.reset();
}

Run TestReportCli::run(const QStringList& args)
{
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QUORVEL_PREFIX", m_prefix->root());
    env.insert("LC_ALL", "C");
    env.insert("LANG", "C");
    env.insert("QT_QPA_PLATFORM", "offscreen");
    process.setProcessEnvironment(env);
    process.start(qEnvironmentVariable("QUORVEL_TEST_BINARY_DIR") + "/quorvel-report", args);
    if (!process.waitForFinished(60000))
        return {};
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1, process.readAllStandardOutput(),
            process.readAllStandardError()};
}

void TestReportCli::refuses_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("message");
    const QStringList csv{"--csv", "day"};
    QTest::newRow("a date that does not exist")
        << QStringList{"--from", "2026-02-30"} + csv << 2 << "\"2026-02-30\" is not a date";
    QTest::newRow("a date of another form") << QStringList{"--to", "11/12/2026"} + csv << 2 << "\"11/12/2026\" is not a date";
    QTest::newRow("from after to") << QStringList{"--from", "2026-12-11", "--to", "2026-12-10"} + csv << 2
                                   << "--from 2026-12-11 is after --to 2026-12-10";
    QTest::newRow("no output asked") << QStringList{"--from", "2026-12-01"} << 2 << "give either --pdf FILE or --csv TABLE";
    QTest::newRow("both outputs") << QStringList{"--pdf", "-", "--csv", "day"} << 2 << "give either";
    QTest::newRow("an unknown table") << QStringList{"--csv", "week"} << 2 << "\"week\" is not a table";
    QTest::newRow("a table as FILE") << QStringList{"--pdf", "@entries"} << 1 << "it is the install's table DetailDays.DB";
    QTest::newRow("a link as FILE") << QStringList{"--csv", "day", "@link"} << 1 << "symbolic link";
    QTest::newRow("a device as FILE") << QStringList{"--pdf", "/dev/null"} << 1 << "not a regular file";
    QTest::newRow("a folder as FILE") << QStringList{"--pdf", "@folder"} << 1 << "not a regular file";
    QTest::newRow("a missing ledger") << QStringList{"--csv", "day", "@new", "--from", "2026-12-01"} << 1 << "@missing";
}

void TestReportCli::refuses()
{
    QFETCH(QStringList, args);
    QFETCH(int, exitCode);
    QFETCH(QString, message);
    QTemporaryDir dir;
    const QString entries = m_prefix->local(Tables::ledgerEntries().windowsPath());
    for (QString& arg : args) {
        if (arg == "@entries")
            arg = entries;
        else if (arg == "@link")
            QVERIFY(QFile::link(dir.filePath("target"), arg = dir.filePath("link.csv")));
        else if (arg == "@folder")
            QVERIFY(QDir().mkpath(arg = dir.filePath("folder")));
        else if (arg == "@new")
            arg = dir.filePath("new.csv");
    }
    if (message == "@missing") {
        QVERIFY(QFile::remove(entries));
        message = Tables::ledgerEntries().fileName;
    }
    const QByteArray entriesBefore = QFile::exists(entries) ? m_prefix->readFile(Tables::ledgerEntries().windowsPath())
                                                            : QByteArray();
    const Run r = run(args);
    QCOMPARE(r.exitCode, exitCode);
    QVERIFY2(QString::fromUtf8(r.err).contains(message), r.err.constData());
    QVERIFY(r.out.isEmpty());
    // Nothing written: no new file, no link's target, the table as it was.
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden | QDir::System).size(),
             args.contains(dir.filePath("link.csv")) ? 1 : 0);
    if (!entriesBefore.isEmpty())
        QCOMPARE(m_prefix->readFile(Tables::ledgerEntries().windowsPath()), entriesBefore);
}

void TestReportCli::writesCsvToStandardOutput()
{
    const Run r = run({"--from", "2026-12-01", "--to", "2026-12-11", "--csv", "station"});
    QCOMPARE(r.exitCode, 0);
    QVERIFY2(r.out.startsWith("\xEF\xBB\xBF"), r.err.constData());
    QVERIFY2(r.out.contains("PC01,1,30,15,50\r\n"), r.out.constData());
    QVERIFY2(r.out.contains("'=PC02,1,60,15,50\r\n"), r.out.constData());
    // The same with "-" as FILE.
    QCOMPARE(run({"--from", "2026-12-01", "--to", "2026-12-11", "--csv", "station", "-"}).out, r.out);
}

void TestReportCli::writesThePdfToAFile()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("takings.pdf");
    const Run r = run({"--from", "2026-12-01", "--to", "2026-12-11", "--pdf", path});
    QCOMPARE(r.exitCode, 0);
    QFile pdf(path);
    QVERIFY(pdf.open(QIODevice::ReadOnly));
    QVERIFY(pdf.readAll().startsWith("%PDF"));
    QProcess text;
    text.start("pdftotext", {path, "-"});
    QVERIFY(text.waitForFinished(30000));
    const QString out = QString::fromUtf8(text.readAllStandardOutput());
    // Shaped Arabic comes back in presentation forms, and the dates' parts in the order of display.
    const QString plain = out.normalized(QString::NormalizationForm_KC);
    QVERIFY2(plain.contains(QStringLiteral("تقرير الإيراد")) || plain.contains(QStringLiteral("داريلإا ريرقت")),
             qPrintable(out.left(1500)));
    QVERIFY2(plain.contains("Dec 2026") && plain.contains("30"), qPrintable(out.left(1500)));
}

QTEST_GUILESS_MAIN(TestReportCli)

#include "tst_reportcli.moc"
