// A 1-minute session on the real one-second timer, from the click to the end. Slow by nature
// (about 61 seconds); labelled "slow" so that it can be run apart: ctest -L slow / -LE slow.

#include "app/ui/Console.h"
#include "app/ui/MainWindow.h"
#include "app/ui/ModeChooser.h"
#include "app/ui/StationTools.h"
#include "install/InstallPaths.h"
#include "platform/files/LineBuffer.h"
#include "platform/ui/Application.h"
#include "platform/ui/MessageBoxes.h"
#include "stations/ui/StationRow.h"
#include "support/TestPrefix.h"

#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

class TestRealTimer : public QObject
{
    Q_OBJECT
private slots:
    void oneMinuteSessionEndsByItself();
};

void TestRealTimer::oneMinuteSessionEndsByItself()
{
    TestPrefix prefix;
    prefix.makeTables();
    prefix.writeFile(InstallPaths::TariffFile, "0.5\r\n0.5");
    prefix.writeFile(InstallPaths::InstallRoot + "\\commandServer\\ComputersConect.inf", "PC0");
    prefix.addStation("PC0");
    QList<MessageBoxes::Shown> boxes;
    MessageBoxes::setRecorderForTests([&](const MessageBoxes::Shown& box) { boxes.append(box); });

    Console console;
    console.form6()->show();
    console.form6()->BitBtn3Click();
    StationRow& row = console.form1()->row(0);
    row.minutesBox()->setCurrentText("1");
    QElapsedTimer clock;
    clock.start();
    QTest::mouseClick(row.openButton(), Qt::LeftButton);
    QVERIFY(boxes.isEmpty());

    QTRY_VERIFY_WITH_TIMEOUT(!console.tools()->timer(0)->isActive(), 75000);
    const qint64 elapsed = clock.elapsed();
    QVERIFY2(elapsed >= 60000 && elapsed < 70000, qPrintable(QString::number(elapsed)));
    QCOMPARE(row.minutesDisplay()->text(), QStringLiteral("--"));
    QCOMPARE(row.secondsDisplay()->text(), QStringLiteral("--"));
    QVERIFY(row.lampShowsReachable());
    QCOMPARE(prefix.commandFile("PC0"), QByteArray("0\r\n0\r\n0\r\n0\r\n0\r\n0\r\n--\r\n--"));
    MessageBoxes::setRecorderForTests({});
}

int main(int argc, char** argv)
{
    Application app(argc, argv, QStringLiteral("QuorvelServer"));
    TestRealTimer test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_realtimer.moc"
