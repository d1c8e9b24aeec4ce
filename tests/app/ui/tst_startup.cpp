#include "accounting/ui/ControlWindow.h"
#include "app/ConsoleLock.h"
#include "app/ui/Console.h"
#include "app/ui/MainWindow.h"
#include "app/ui/ModeChooser.h"
#include "install/InstallPaths.h"
#include "platform/AppError.h"
#include "platform/files/ShellLaunch.h"
#include "platform/ui/Application.h"
#include "platform/ui/MessageBoxes.h"
#include "support/TestPrefix.h"

#include <QLabel>
#include <QLineEdit>
#include <QLockFile>
#include <QProcess>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

namespace {

// Runs the application's message loop as the program would, until something ends it; a loop
// that nothing ends stops after five seconds with 99.
int runMessageLoop()
{
    QTimer watchdog;
    watchdog.setSingleShot(true);
    QObject::connect(&watchdog, &QTimer::timeout, qApp, [] { QCoreApplication::exit(99); });
    watchdog.start(5000);
    return QCoreApplication::exec();
}

// The console's own program file, as built beside the tests.
QString programFile()
{
    return qEnvironmentVariable("QUORVEL_TEST_BINARY_DIR") + QStringLiteral("/QuorvelServer");
}

struct Launch
{
    QString program;
    QStringList arguments;
    QString directory;
};

} // namespace

class TestStartup : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void onlyTheChooserShowsAtStart();
    void closingTheChooserEndsTheProgram();
    void centralControlModeLoadsTariffs();
    void cardModeHidesTheSessionHeading();
    void missingTariffFileStillShowsTheWindow_data();
    void missingTariffFileStillShowsTheWindow();
    void missingRosterKeepsTheTariffs();
    void closingTheMainWindowOnlyHidesIt();
    void cardCreatorButtonLaunchesCardExe();
    void refreshRestartsTheConsole();
    void handlerErrorsReachTheErrorBox();
    void restartEndsEvenWhenAWindowRefusesToClose();
    void aSecondStartHandsOver_data();
    void aSecondStartHandsOver();
    void theRestartedConsoleWaitsForTheLock();

private:
    template <typename T>
    T* find(QWidget* window, const char* name)
    {
        T* w = window->findChild<T*>(QString::fromLatin1(name));
        if (!w)
            qFatal("no component %s", name);
        return w;
    }

    std::unique_ptr<TestPrefix> m_prefix;
    std::unique_ptr<Console> m_console;
    QList<MessageBoxes::Shown> m_boxes;
    QList<Launch> m_launches;
};

void TestStartup::init()
{
    m_prefix = std::make_unique<TestPrefix>();
    m_prefix->makeInstallTree();
    m_prefix->writeFile(InstallPaths::TariffFile, "0.25\r\n0.75");
    m_prefix->writeFile(InstallPaths::InstallRoot + "\\commandServer\\ComputersConect.inf", "");
    m_boxes.clear();
    m_launches.clear();
    MessageBoxes::setRecorderForTests([this](const MessageBoxes::Shown& box) { m_boxes.append(box); });
    ShellLaunch::setStarterForTests([this](const QString& p, const QStringList& a, const QString& d) {
        m_launches.append({p, a, d});
    });
    m_console = std::make_unique<Console>();
    m_console->form6()->show();
}

void TestStartup::cleanup()
{
    m_console.reset();
    MessageBoxes::setRecorderForTests({});
    ShellLaunch::setStarterForTests({});
    m_prefix.reset();
}

void TestStartup::onlyTheChooserShowsAtStart()
{
    ModeChooser* chooser = m_console->form6();
    QVERIFY(chooser->isVisible());
    QCOMPARE(chooser->windowTitle(), QStringLiteral("QuorvelServer"));
    QCOMPARE(chooser->size(), QSize(318, 130));
    QCOMPARE(find<QLabel>(chooser, "Label28")->text(), QStringLiteral("إختر نظام العمل ؟"));
    QCOMPARE(find<QLabel>(chooser, "Label28")->pos(), QPoint(227, 18));
    QCOMPARE(find<QPushButton>(chooser, "BitBtn3")->text(), QStringLiteral(" التحكم المركزي"));
    QCOMPARE(find<QPushButton>(chooser, "BitBtn3")->geometry(), QRect(213, 67, 92, 25));
    QCOMPARE(find<QPushButton>(chooser, "BitBtn5")->text(), QStringLiteral("البطاقة"));
    QCOMPARE(find<QPushButton>(chooser, "BitBtn5")->geometry(), QRect(19, 69, 78, 25));
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (w != chooser)
            QVERIFY2(!w->isVisible(), qPrintable(w->objectName()));
    }
}

void TestStartup::closingTheChooserEndsTheProgram()
{
    // Nothing may be read: remove the files, so that any read would raise an error box.
    QFile::remove(m_prefix->local(InstallPaths::TariffFile));
    QTimer::singleShot(0, m_console->form6(), &QWidget::close);
    QCOMPARE(runMessageLoop(), 0);
    QVERIFY(!m_console->form1()->isVisible());
    QVERIFY(m_boxes.isEmpty());
}

void TestStartup::centralControlModeLoadsTariffs()
{
    QTest::mouseClick(find<QPushButton>(m_console->form6(), "BitBtn3"), Qt::LeftButton);
    MainWindow* main = m_console->form1();
    QVERIFY(!m_console->form6()->isVisible());
    QVERIFY(main->isVisible());
    QVERIFY(m_boxes.isEmpty());
    QCOMPARE(main->windowTitle(), QStringLiteral("QuorvelServer"));
    QCOMPARE(main->size(), QSize(787, 528));
    QCOMPARE(main->layoutDirection(), Qt::RightToLeft);
    QCOMPARE(find<QPushButton>(main, "BitBtn1")->geometry(), QRect(669, 9, 111, 25));
    QCOMPARE(find<QPushButton>(main, "BitBtn4")->geometry(), QRect(578, 9, 84, 25));
    QCOMPARE(find<QPushButton>(main, "BitBtn2")->geometry(), QRect(497, 9, 75, 25));
    QCOMPARE(find<QWidget>(main, "Panel2")->geometry(), QRect(6, 39, 774, 485));
    QVERIFY(find<QLabel>(main, "Label8")->isVisible());
    QCOMPARE(find<QLineEdit>(m_console->control(), "Edit2")->text(), QStringLiteral("0.25"));
    QCOMPARE(find<QLineEdit>(m_console->control(), "Edit3")->text(), QStringLiteral("0.75"));
}

void TestStartup::cardModeHidesTheSessionHeading()
{
    QTest::mouseClick(find<QPushButton>(m_console->form6(), "BitBtn5"), Qt::LeftButton);
    MainWindow* main = m_console->form1();
    QVERIFY(main->isVisible());
    QVERIFY(!find<QLabel>(main, "Label8")->isVisible());
    for (const char* name : {"Label5", "Label6", "Label10", "BitBtn1", "BitBtn4", "BitBtn2"})
        QVERIFY2(find<QWidget>(main, name)->isVisible(), name);
}

void TestStartup::missingTariffFileStillShowsTheWindow_data()
{
    QTest::addColumn<QByteArray>("modeButton");
    QTest::newRow("central control") << QByteArray("BitBtn3");
    QTest::newRow("card") << QByteArray("BitBtn5");
}

void TestStartup::missingTariffFileStillShowsTheWindow()
{
    QFETCH(QByteArray, modeButton);
    QFile::remove(m_prefix->local(InstallPaths::TariffFile));
    QTest::mouseClick(find<QPushButton>(m_console->form6(), modeButton.constData()), Qt::LeftButton);
    QVERIFY(m_console->form1()->isVisible());
    QCOMPARE(m_boxes.size(), 1);
    QCOMPARE(m_boxes.at(0).title, QStringLiteral("QuorvelServer"));
    QCOMPARE(m_boxes.at(0).icon, QMessageBox::Critical);
    QCOMPARE(m_boxes.at(0).text,
             QStringLiteral("Cannot open file \"C:\\Program Files\\Kelvarin\\QuorvelServer\\commandServer\\costControl.inf\". "
                            "No such file or directory."));
    QCOMPARE(find<QLineEdit>(m_console->control(), "Edit2")->text(), QStringLiteral("0.5"));
    QCOMPARE(find<QLabel>(m_console->form1(), "Label8")->isVisible(), modeButton == "BitBtn3");
}

void TestStartup::missingRosterKeepsTheTariffs()
{
    QFile::remove(m_prefix->local(InstallPaths::InstallRoot + "\\commandServer\\ComputersConect.inf"));
    QTest::mouseClick(find<QPushButton>(m_console->form6(), "BitBtn3"), Qt::LeftButton);
    QCOMPARE(m_boxes.size(), 1);
    QVERIFY2(m_boxes.at(0).text.startsWith(
                 "Cannot open file \"C:\\Program Files\\Kelvarin\\QuorvelServer\\commandServer\\ComputersConect.inf\"."),
             qPrintable(m_boxes.at(0).text));
    QCOMPARE(find<QLineEdit>(m_console->control(), "Edit2")->text(), QStringLiteral("0.25"));
}

void TestStartup::closingTheMainWindowOnlyHidesIt()
{
    QTest::mouseClick(find<QPushButton>(m_console->form6(), "BitBtn3"), Qt::LeftButton);
    bool quit = false;
    QMetaObject::Connection c = connect(qApp, &QCoreApplication::aboutToQuit, this, [&] { quit = true; });
    QVERIFY(m_console->form1()->close());
    QVERIFY(!m_console->form1()->isVisible());
    QTest::qWait(50);
    QVERIFY(!quit);
    disconnect(c);
}

void TestStartup::cardCreatorButtonLaunchesCardExe()
{
    QTest::mouseClick(find<QPushButton>(m_console->form6(), "BitBtn3"), Qt::LeftButton);
    QPushButton* cards = find<QPushButton>(m_console->form1(), "BitBtn1");
    QCOMPARE(cards->text(), QStringLiteral("منشئ البطاقات"));

    // Absent: nothing happens, nothing is shown.
    QTest::mouseClick(cards, Qt::LeftButton);
    QVERIFY(m_launches.isEmpty());
    QVERIFY(m_boxes.isEmpty());

    // Present in the current directory (any case), it is started there.
    QFile exe(QDir::current().filePath("card.EXE"));
    QVERIFY(exe.open(QIODevice::WriteOnly));
    exe.write("#!/bin/sh\n");
    exe.close();
    exe.setPermissions(exe.permissions() | QFileDevice::ExeOwner);
    QTest::mouseClick(cards, Qt::LeftButton);
    QCOMPARE(m_launches.size(), 1);
    QCOMPARE(m_launches.at(0).program, QDir::current().filePath("card.EXE"));
    QCOMPARE(m_launches.at(0).directory, QDir::currentPath());
}

void TestStartup::refreshRestartsTheConsole()
{
    QTest::mouseClick(find<QPushButton>(m_console->form6(), "BitBtn3"), Qt::LeftButton);
    QTimer::singleShot(0, find<QPushButton>(m_console->form1(), "BitBtn2"), &QPushButton::click);
    QCOMPARE(runMessageLoop(), 0);
    QCOMPARE(m_launches.size(), 1);
    QCOMPARE(m_launches.at(0).program, QCoreApplication::applicationFilePath());
    QCOMPARE(m_launches.at(0).directory, QDir::currentPath());
}

void TestStartup::handlerErrorsReachTheErrorBox()
{
    QPushButton thrower;
    connect(&thrower, &QPushButton::clicked, [] { throw AppError(QStringLiteral("Table is busy")); });
    thrower.show();
    QTest::mouseClick(&thrower, Qt::LeftButton);
    QCOMPARE(m_boxes.size(), 1);
    QCOMPARE(m_boxes.at(0).text, QStringLiteral("Table is busy."));

    // The real box: title, icon, OK, full stop kept when present.
    MessageBoxes::setRecorderForTests({});
    QString seenTitle, seenText;
    QMessageBox::Icon seenIcon = QMessageBox::NoIcon;
    Qt::TextFormat seenFormat = Qt::AutoText;
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        QVERIFY(box);
        seenTitle = box->windowTitle();
        seenText = box->text();
        seenIcon = box->icon();
        seenFormat = box->textFormat();
        box->button(QMessageBox::Ok)->click();
    });
    Application::reportError(QStringLiteral("Done."));
    QCOMPARE(seenTitle, QStringLiteral("QuorvelServer"));
    QCOMPARE(seenText, QStringLiteral("Done."));
    QCOMPARE(seenIcon, QMessageBox::Critical);
    // Error texts carry file and table names, which are shown as they stand, never as markup.
    QCOMPARE(seenFormat, Qt::PlainText);
}

void TestStartup::restartEndsEvenWhenAWindowRefusesToClose()
{
    QTest::mouseClick(find<QPushButton>(m_console->form6(), "BitBtn3"), Qt::LeftButton);
    // The central control window keeps itself open when its tariff file cannot be read.
    m_console->control()->show();
    QFile::remove(m_prefix->local(InstallPaths::TariffFile));
    QTimer::singleShot(0, find<QPushButton>(m_console->form1(), "BitBtn2"), &QPushButton::click);
    QCOMPARE(runMessageLoop(), 0);
    QCOMPARE(m_launches.size(), 1);
    QVERIFY(m_boxes.isEmpty());
}

void TestStartup::aSecondStartHandsOver_data()
{
    QTest::addColumn<bool>("modeChosen");
    QTest::newRow("at the chooser") << false;
    QTest::newRow("main window closed") << true;
}

void TestStartup::aSecondStartHandsOver()
{
    QFETCH(bool, modeChosen);
    ConsoleLock lock(ConsoleLock::installLockPath());
    QCOMPARE(lock.acquire(), ConsoleLock::Start::Acquired);
    m_console->setInstanceLock(&lock);
    if (modeChosen) {
        QTest::mouseClick(find<QPushButton>(m_console->form6(), "BitBtn3"), Qt::LeftButton);
        m_console->form1()->close();
    } else {
        m_console->form6()->hide();
    }

    QProcess second;
    second.start(programFile(), {});
    QVERIFY(second.waitForStarted());
    // It ends by itself, and this console comes forward instead.
    QTRY_COMPARE_WITH_TIMEOUT(second.state(), QProcess::NotRunning, 15'000);
    QCOMPARE(second.exitStatus(), QProcess::NormalExit);
    QCOMPARE(second.exitCode(), 0);
    QTRY_VERIFY(modeChosen ? m_console->form1()->isVisible() : m_console->form6()->isVisible());
    QCOMPARE(m_console->form1()->isVisible(), modeChosen);
}

void TestStartup::theRestartedConsoleWaitsForTheLock()
{
    auto old = std::make_unique<ConsoleLock>(ConsoleLock::installLockPath());
    QCOMPARE(old->acquire(), ConsoleLock::Start::Acquired);
    // What the refresh does before starting the new console.
    old->stopListening();
    QProcess next;
    next.start(programFile(), {});
    QVERIFY(next.waitForStarted());
    const auto stop = qScopeGuard([&] {
        next.kill();
        next.waitForFinished();
    });
    QTest::qWait(1500);
    QCOMPARE(next.state(), QProcess::Running);

    old.reset(); // the old console ends
    QLockFile probe(*ConsoleLock::installLockPath());
    qint64 holder = 0;
    QString host, app;
    QTRY_VERIFY_WITH_TIMEOUT(probe.getLockInfo(&holder, &host, &app) && holder == next.processId(), 10'000);
    QVERIFY(!probe.tryLock(0));
    QCOMPARE(next.state(), QProcess::Running);
}

int main(int argc, char** argv)
{
    Application app(argc, argv, QStringLiteral("QuorvelServer"));
    TestStartup test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_startup.moc"
