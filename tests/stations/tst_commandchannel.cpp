#include "platform/AppError.h"
#include "platform/files/LineBuffer.h"
#include "platform/files/SystemTexts.h"
#include "platform/files/WinFile.h"
#include "stations/CommandChannel.h"
#include "support/FileSizeLimit.h"
#include "support/HeldFile.h"
#include "support/TestPrefix.h"

#include <QDir>
#include <QFileInfo>
#include <QtTest>

class TestCommandChannel : public QObject
{
    Q_OBJECT
private slots:
    void writesOneLine_data();
    void writesOneLine();
    void writesTwoLinesInOneSave();
    void missingFileCreatesNothing();
    void aSaveCutShortKeepsEveryLine();
    void missingLineFailsAndAddsNothing_data();
    void missingLineFailsAndAddsNothing();
    void heldFileFailsAndStaysUnchanged_data();
    void heldFileFailsAndStaysUnchanged();
    void probe();
    void badStationNamesStayInside_data();
    void badStationNamesStayInside();
    void errorTextNamesWindowsPath();
};

void TestCommandChannel::writesOneLine_data()
{
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<int>("line");
    QTest::addColumn<QByteArray>("after");

    const QByteArray eight = "0\r\n0\r\n0\r\n0\r\n0\r\n0\r\n0\r\n0";
    QTest::newRow("eight lines, shut down") << eight << 2 << QByteArray("0\r\n0\r\n1\r\n0\r\n0\r\n0\r\n0\r\n0");
    QTest::newRow("five lines and a final break, flag fills the sixth")
        << QByteArray("0\r\n0\r\n0\r\n0\r\n0\r\n") << 5 << QByteArray("0\r\n0\r\n0\r\n0\r\n0\r\n1");
    QTest::newRow("seven lines and a final break, line 7 fills the eighth")
        << QByteArray("0\r\n0\r\n0\r\n0\r\n0\r\n0\r\n0\r\n") << 7 << QByteArray("0\r\n0\r\n0\r\n0\r\n0\r\n0\r\n0\r\n1");
    QTest::newRow("LF breaks saved as CR LF") << QByteArray("0\n0\n0") << 0 << QByteArray("1\r\n0\r\n0");
}

void TestCommandChannel::writesOneLine()
{
    QFETCH(QByteArray, before);
    QFETCH(int, line);
    QFETCH(QByteArray, after);
    TestPrefix prefix;
    prefix.addStation(QStringLiteral("PC1"), before);
    LineBuffer scratch;
    CommandWrite(scratch, QStringLiteral("PC1"), line, QStringLiteral("1"));
    QCOMPARE(prefix.commandFile(QStringLiteral("PC1")), after);
}

void TestCommandChannel::writesTwoLinesInOneSave()
{
    TestPrefix prefix;
    prefix.addStation(QStringLiteral("PC1"));
    LineBuffer scratch;
    CommandWriteLines(scratch, QStringLiteral("PC1"), {{6, QStringLiteral("--")}, {7, QStringLiteral("-2")}});
    QCOMPARE(prefix.commandFile(QStringLiteral("PC1")), QByteArray("0\r\n0\r\n0\r\n0\r\n0\r\n0\r\n--\r\n-2"));
}

void TestCommandChannel::missingFileCreatesNothing()
{
    TestPrefix prefix;
    prefix.addStation(QStringLiteral("PC1"));
    const QString path = prefix.local(CommandChannel::commandFilePath(QStringLiteral("PC1")));
    QFile::remove(path);
    LineBuffer scratch;
    QVERIFY_THROWS_EXCEPTION(AppError, CommandWrite(scratch, QStringLiteral("PC1"), 2, QStringLiteral("1")));
    QVERIFY(!QFileInfo::exists(path));
}

void TestCommandChannel::aSaveCutShortKeepsEveryLine()
{
    // The disk takes only the first bytes of the save (full, or the connection dropped): the new
    // text lies over the old one, so the file keeps its length and every line a command needs.
    TestPrefix prefix;
    const QByteArray before = "0\r\n0\r\n0\r\n0\r\n0\r\n1\r\n59\r\n14";
    prefix.addStation(QStringLiteral("PC1"), before);
    LineBuffer scratch;
    {
        FileSizeLimit full(10);
        QVERIFY_THROWS_EXCEPTION(AppError, CommandWrite(scratch, QStringLiteral("PC1"), 2, QStringLiteral("1")));
    }
    const LineBuffer after(prefix.commandFile(QStringLiteral("PC1")));
    QCOMPARE(after.lineCount(), 8);
    QCOMPARE(prefix.commandFile(QStringLiteral("PC1")).size(), before.size());
    // Nothing is lost for the next command either.
    CommandWrite(scratch, QStringLiteral("PC1"), CommandChannel::SessionFlagLine, QStringLiteral("0"));
    QCOMPARE(prefix.commandFile(QStringLiteral("PC1")), QByteArray("0\r\n0\r\n1\r\n0\r\n0\r\n0\r\n59\r\n14"));
}

void TestCommandChannel::missingLineFailsAndAddsNothing_data()
{
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<QList<int>>("lines");

    QTest::newRow("five lines, the flag") << QByteArray("0\r\n0\r\n0\r\n0\r\n0") << QList<int>{5};
    QTest::newRow("LF breaks, the flag") << QByteArray("0\n0\n0") << QList<int>{5};
    QTest::newRow("two lines, log off") << QByteArray("0\r\n0") << QList<int>{3};
    QTest::newRow("seven lines, counters: the one that exists is not written either")
        << QByteArray("0\r\n0\r\n0\r\n0\r\n0\r\n0\r\n0") << QList<int>{6, 7};
}

void TestCommandChannel::missingLineFailsAndAddsNothing()
{
    QFETCH(QByteArray, before);
    QFETCH(QList<int>, lines);
    TestPrefix prefix;
    prefix.addStation(QStringLiteral("PC1"), before);
    QList<QPair<int, QString>> values;
    for (int line : lines)
        values.append({line, QStringLiteral("1")});
    LineBuffer scratch;
    QVERIFY_THROWS_EXCEPTION(AppError, CommandWriteLines(scratch, QStringLiteral("PC1"), values));
    QCOMPARE(prefix.commandFile(QStringLiteral("PC1")), before);
}

void TestCommandChannel::heldFileFailsAndStaysUnchanged_data()
{
    QTest::addColumn<bool>("heldForWriting");
    QTest::newRow("held for writing: the load fails") << true;
    QTest::newRow("held for reading: the save fails") << false;
}

void TestCommandChannel::heldFileFailsAndStaysUnchanged()
{
    QFETCH(bool, heldForWriting);
    TestPrefix prefix;
    const QByteArray before = "0\r\n0\r\n0\r\n0\r\n0\r\n0\r\n0\r\n0";
    prefix.addStation(QStringLiteral("PC1"), before);
    HeldFile held(prefix.local(CommandChannel::commandFilePath(QStringLiteral("PC1"))), heldForWriting);
    LineBuffer scratch;
    try {
        CommandWrite(scratch, QStringLiteral("PC1"), 2, QStringLiteral("1"));
        QFAIL("the write went through a held file");
    } catch (const AppError& e) {
        QVERIFY2(e.text().contains(SystemTexts::sharingViolation()), qPrintable(e.text()));
        QVERIFY(e.text().startsWith(heldForWriting ? "Cannot open file" : "Cannot create file"));
    }
    QCOMPARE(prefix.commandFile(QStringLiteral("PC1")), before);
}

void TestCommandChannel::probe()
{
    TestPrefix prefix;
    prefix.addStation(QStringLiteral("PC1"));
    LineBuffer probeBuffer;
    // An empty probe file is a reachable station.
    StationProbe(probeBuffer, QStringLiteral("PC1"));
    // The share is matched regardless of case, as Windows names are.
    StationProbe(probeBuffer, QStringLiteral("pc1"));
    QVERIFY_THROWS_EXCEPTION(AppError, StationProbe(probeBuffer, QStringLiteral("PC2")));
    QFile::remove(prefix.local(CommandChannel::probeFilePath(QStringLiteral("PC1"))));
    QVERIFY_THROWS_EXCEPTION(AppError, StationProbe(probeBuffer, QStringLiteral("PC1")));
}

void TestCommandChannel::badStationNamesStayInside_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("empty") << QString();
    QTest::newRow("dot") << QStringLiteral(".");
    QTest::newRow("dot dot") << QStringLiteral("..");
    QTest::newRow("slash") << QStringLiteral("a/b");
    QTest::newRow("backslash") << QStringLiteral("a\\b");
    QTest::newRow("dot dot with a path") << QStringLiteral("..\\..\\drive_c");
    QTest::newRow("NUL") << QStringLiteral("PC1") + QChar(0);
}

void TestCommandChannel::badStationNamesStayInside()
{
    QFETCH(QString, name);
    TestPrefix prefix;
    // Decoys that a name escaping unc/ would reach.
    const QByteArray eight = "0\r\n0\r\n0\r\n0\r\n0\r\n0\r\n0\r\n0";
    prefix.addStation(QStringLiteral("a"), eight);
    for (const QString& dir : {QStringLiteral("/C/Program Files/Kelvarin/QuorvelNet/command"),
                               QStringLiteral("/unc/C/Program Files/Kelvarin/QuorvelNet/command"),
                               QStringLiteral("/unc/b/C/Program Files/Kelvarin/QuorvelNet/command")}) {
        QDir().mkpath(prefix.root() + dir);
        QFile f(prefix.root() + dir + "/command.inf");
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(eight);
        QFile p(prefix.root() + dir + "/conect.inf");
        QVERIFY(p.open(QIODevice::WriteOnly));
    }
    LineBuffer scratch;
    QVERIFY_THROWS_EXCEPTION(AppError, CommandWrite(scratch, name, 2, QStringLiteral("1")));
    QVERIFY_THROWS_EXCEPTION(AppError, StationProbe(scratch, name));
    QCOMPARE(prefix.commandFile(QStringLiteral("a")), eight);
    for (const QString& dir : {QStringLiteral("/C/Program Files/Kelvarin/QuorvelNet/command"),
                               QStringLiteral("/unc/C/Program Files/Kelvarin/QuorvelNet/command"),
                               QStringLiteral("/unc/b/C/Program Files/Kelvarin/QuorvelNet/command")}) {
        QFile f(prefix.root() + dir + "/command.inf");
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), eight);
    }
}

void TestCommandChannel::errorTextNamesWindowsPath()
{
    TestPrefix prefix;
    LineBuffer scratch;
    try {
        CommandWrite(scratch, QStringLiteral("PC9"), 2, QStringLiteral("1"));
        QFAIL("no error");
    } catch (const AppError& e) {
        QCOMPARE(e.text(),
                 QStringLiteral("Cannot open file \"\\\\PC9\\C\\Program Files\\Kelvarin\\QuorvelNet\\command\\command.inf\". "
                                "The network path was not found"));
    }
}

QTEST_APPLESS_MAIN(TestCommandChannel)
#include "tst_commandchannel.moc"
