#include "accounting/ui/ControlWindow.h"
#include "app/ConsoleLock.h"
#include "app/ui/Console.h"
#include "app/ui/ConsoleStart.h"
#include "app/ui/MainWindow.h"
#include "app/ui/ModeChooser.h"
#include "install/InstallPaths.h"
#include "platform/AppError.h"
#include "platform/files/LineBuffer.h"
#include "platform/files/ShellLaunch.h"
#include "platform/ui/Application.h"
#include "platform/ui/MessageBoxes.h"
#include "stations/ui/StationRow.h"
#include "support/SmbServer.h"
#include "support/TestPrefix.h"

#include <QLabel>
#include <QLineEdit>
#include <QLockFile>
#include <QProcess>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

#include <sys/mount.h>

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

std::unique_ptr<QProcess> startProgram()
{
    auto process = std::make_unique<QProcess>();
    process->start(programFile(), {});
    if (!process->waitForStarted())
        qFatal("cannot start %s", qPrintable(programFile()));
    return process;
}

// The consoles of this install running now: the program's processes working in its folder.
int consolesRunning()
{
    const QString program = QFileInfo(programFile()).canonicalFilePath();
    const QString folder = QDir::current().canonicalPath();
    int count = 0;
    for (const QString& pid : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        const QString proc = QStringLiteral("/proc/") + pid;
        if (QFileInfo(proc + "/exe").symLinkTarget() == program && QFileInfo(proc + "/cwd").symLinkTarget() == folder)
            ++count;
    }
    return count;
}

qint64 lockHolder()
{
    QLockFile probe(*ConsoleLock::installLockPath());
    qint64 pid = 0;
    QString host, app;
    return probe.getLockInfo(&pid, &host, &app) ? pid : 0;
}

// Answers the box once it shows, by its default button (the Enter key) or by "Leave"; keeps its
// text and the name of its default button.
void answerNextBox(bool byDefault, QString* text, QString* defaultButton)
{
    QTimer::singleShot(50, [=] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box) {
            answerNextBox(byDefault, text, defaultButton);
            return;
        }
        *text = box->text();
        *defaultButton = box->defaultButton() ? box->defaultButton()->objectName() : QString();
        if (byDefault)
            QTest::keyClick(box, Qt::Key_Return);
        else
            box->findChild<QPushButton*>(QStringLiteral("Leave"))->click();
    });
}

template <typename T>
T* topLevel()
{
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (auto* found = qobject_cast<T*>(w))
            return found;
    }
    qFatal("no such window");
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
    void theRestartedConsoleWaitsWhileTheOldEnds();
    void aConsoleThatNeitherAnswersNorEndsIsNamed();
    void aForeignLockIsOfferedForTakeOver_data();
    void aForeignLockIsOfferedForTakeOver();
    void twoStartsAtOnceMakeOneConsole();
    void aReadOnlyInstallWarnsAndStillHandsOver();
    void aRefreshWithSilentStationsLeavesOneConsole();

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

void TestStartup::theRestartedConsoleWaitsWhileTheOldEnds()
{
    auto old = std::make_unique<ConsoleLock>(ConsoleLock::installLockPath());
    QCOMPARE(old->acquire(), ConsoleLock::Start::Acquired);
    // What the refresh does before starting the new console.
    old->announceEnding();
    std::unique_ptr<QProcess> next = startProgram();
    const auto stop = qScopeGuard([&] {
        next->kill();
        next->waitForFinished();
    });
    // Longer than a console that neither answers nor ends is waited for.
    QTest::qWait(9000);
    QCOMPARE(next->state(), QProcess::Running);

    old.reset(); // the old console ends
    QTRY_COMPARE_WITH_TIMEOUT(lockHolder(), next->processId(), 10'000);
    QCOMPARE(next->state(), QProcess::Running);
}

void TestStartup::aConsoleThatNeitherAnswersNorEndsIsNamed()
{
    // This process holds it, as a console whose window hangs would: it is a console, and silent.
    QLockFile hung(*ConsoleLock::installLockPath());
    QVERIFY(hung.tryLock(0));
    ConsoleLock lock(ConsoleLock::installLockPath());
    QCOMPARE(lock.acquire(300), ConsoleLock::Start::Busy);
    const QString text = lock.busyText();
    QVERIFY2(text.startsWith(ConsoleLock::busyMessage()), qPrintable(text));
    QVERIFY2(text.contains(InstallPaths::ConsoleLock), qPrintable(text));
    QVERIFY2(text.contains(QString::number(QCoreApplication::applicationPid())), qPrintable(text));
}

void TestStartup::aForeignLockIsOfferedForTakeOver_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<bool>("takeOver");
    QTest::addColumn<QString>("named"); // besides the file
    for (const bool take : {true, false}) {
        const char* verb = take ? "taken over" : "left";
        QTest::addRow("folder, %s", verb) << "folder" << take << "مجلد";
        QTest::addRow("dangling link, %s", verb) << "dangling link" << take << "/nowhere/lock";
        QTest::addRow("another host, %s", verb) << "another host" << take << "counter-old";
        QTest::addRow("not a console, %s", verb) << "not a console" << take << "sleep";
    }
    QTest::addRow("folder with a file, taken over") << "full folder" << true << "مجلد";
    QTest::addRow("link to a file, taken over") << "file link" << true << "kept.txt";
}

void TestStartup::aForeignLockIsOfferedForTakeOver()
{
    QFETCH(QString, kind);
    QFETCH(bool, takeOver);
    QFETCH(QString, named);
    const QString path = *ConsoleLock::installLockPath();
    const QString kept = m_prefix->root() + "/kept.txt";
    QProcess other;
    const auto stop = qScopeGuard([&] {
        other.kill();
        other.waitForFinished();
    });
    if (kind == "folder" || kind == "full folder") {
        QVERIFY(QDir().mkdir(path));
        if (kind == "full folder")
            QVERIFY(QFile(path + "/note").open(QIODevice::WriteOnly));
    } else if (kind == "dangling link") {
        QVERIFY(QFile::link("/nowhere/lock", path));
    } else if (kind == "file link") {
        QVERIFY(QFile(kept).open(QIODevice::WriteOnly));
        QVERIFY(QFile::link(kept, path));
    } else {
        // A lock as the install restored from another PC left it, or as another program holds it.
        other.start(QStringLiteral("sleep"), {QStringLiteral("60")});
        QVERIFY(other.waitForStarted());
        const QByteArray host = kind == "another host" ? "counter-old" : QSysInfo::machineHostName().toUtf8();
        const QByteArray program = kind == "another host" ? "QuorvelServer" : "sleep";
        QFile lockFile(path);
        QVERIFY(lockFile.open(QIODevice::WriteOnly));
        lockFile.write(QByteArray::number(other.processId()) + "\n" + program + "\n" + host + "\n");
    }

    ConsoleLock lock(path);
    QString text, defaultButton;
    answerNextBox(takeOver, &text, &defaultButton);
    int exitCode = -1;
    const bool admitted = ConsoleStart::admit(lock, exitCode);
    QVERIFY2(text.contains(InstallPaths::ConsoleLock), qPrintable(text));
    QVERIFY2(text.contains(named), qPrintable(text));
    QCOMPARE(defaultButton, QStringLiteral("TakeOver"));
    QCOMPARE(admitted, takeOver);
    QVERIFY(m_boxes.isEmpty());
    if (takeOver) {
        QCOMPARE(lockHolder(), QCoreApplication::applicationPid());
        // A second start now hands over to this console.
        std::unique_ptr<QProcess> second = startProgram();
        bool handed = false;
        connect(&lock, &ConsoleLock::showRequested, this, [&] { handed = true; });
        QTRY_VERIFY_WITH_TIMEOUT(handed, 15'000);
        QTRY_COMPARE_WITH_TIMEOUT(second->state(), QProcess::NotRunning, 5000);
        QCOMPARE(second->exitCode(), 0);
    } else {
        QCOMPARE(exitCode, 1);
        QVERIFY(QFileInfo(path).exists() || QFileInfo(path).isSymLink());
    }
    // Nothing of anyone's is lost: what a folder held, or what a link pointed to.
    if (kind == "full folder")
        QCOMPARE(QDir(m_prefix->installDir()).entryList({"QuorvelServer.lock.*"}, QDir::Dirs).size(), 1);
    if (kind == "file link")
        QVERIFY(QFileInfo(kept).isFile());
}

void TestStartup::twoStartsAtOnceMakeOneConsole()
{
    for (int i = 0; i < 20; ++i) {
        std::unique_ptr<QProcess> starts[2];
        starts[0] = std::make_unique<QProcess>();
        starts[1] = std::make_unique<QProcess>();
        for (auto& p : starts)
            p->start(programFile(), {});
        const auto stop = qScopeGuard([&] {
            for (auto& p : starts) {
                p->kill();
                p->waitForFinished();
            }
        });
        for (auto& p : starts)
            QVERIFY(p->waitForStarted());
        // One hands over to the other and ends at once; a box would keep it running.
        QTRY_VERIFY_WITH_TIMEOUT(starts[0]->state() == QProcess::NotRunning || starts[1]->state() == QProcess::NotRunning,
                                 15'000);
        QProcess* ended = starts[0]->state() == QProcess::NotRunning ? starts[0].get() : starts[1].get();
        QProcess* console = ended == starts[0].get() ? starts[1].get() : starts[0].get();
        QCOMPARE(ended->exitStatus(), QProcess::NormalExit);
        QCOMPARE(ended->exitCode(), 0);
        QCOMPARE(console->state(), QProcess::Running);
        QTRY_COMPARE(lockHolder(), console->processId());
    }
}

void TestStartup::aReadOnlyInstallWarnsAndStillHandsOver()
{
    const QByteArray folder = QFile::encodeName(m_prefix->installDir());
    if (::mount(folder.constData(), folder.constData(), nullptr, MS_BIND, nullptr) != 0)
        QSKIP("cannot bind-mount the install folder (not root, or mounting not permitted)");
    const auto unmount = qScopeGuard([&] { ::umount2(folder.constData(), MNT_DETACH); });
    QVERIFY(::mount(nullptr, folder.constData(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr) == 0);

    ConsoleLock lock(ConsoleLock::installLockPath());
    int exitCode = -1;
    QVERIFY(ConsoleStart::admit(lock, exitCode));
    QCOMPARE(m_boxes.size(), 1);
    const QString text = m_boxes.at(0).text;
    QVERIFY2(text.contains(InstallPaths::ConsoleLock), qPrintable(text));
    QVERIFY2(text.contains("للقراءة فقط"), qPrintable(text));
    QVERIFY2(text.contains("ثانٍ"), qPrintable(text));

    m_console->setInstanceLock(&lock);
    m_console->form6()->hide();
    std::unique_ptr<QProcess> second = startProgram();
    QTRY_COMPARE_WITH_TIMEOUT(second->state(), QProcess::NotRunning, 15'000);
    QCOMPARE(second->exitCode(), 0);
    QTRY_VERIFY(m_console->form6()->isVisible());
    QCOMPARE(m_boxes.size(), 1);
}

// The old console is this process, as the program runs it; the one its refresh starts is the
// program itself. Three stations hang while their sessions count, so the old one takes its
// time to end.
void TestStartup::aRefreshWithSilentStationsLeavesOneConsole()
{
    if (qEnvironmentVariableIsEmpty("QUORVEL_TEST_SMBD_SCRIPT") || ::geteuid() != 0)
        QSKIP("needs smbd and root: run through ctest as root with samba installed");
    SmbServer::useTestClientConfig();
    QTemporaryDir dirs(QDir::tempPath() + "/tst_startup-XXXXXX");
    std::vector<std::unique_ptr<SmbServer>> stations;
    QByteArray roster;
    for (int i = 0; i < 3; ++i) {
        const QString address = QStringLiteral("127.0.3.%1").arg(31 + i);
        stations.push_back(SmbServer::start(dirs.path() + "/" + QString::number(i), address));
        if (!stations.back())
            QSKIP(qPrintable("cannot start smbd on " + address));
        stations.back()->addStation();
        roster += address.toLatin1() + "\r\n";
    }
    m_prefix->makeTables();
    m_prefix->writeFile(InstallPaths::RosterFile, roster);
    m_console.reset();

    std::unique_ptr<QProcess> restarted;
    const auto stop = qScopeGuard([&] {
        if (restarted) {
            restarted->kill();
            restarted->waitForFinished();
        }
    });
    ShellLaunch::setStarterForTests([&](const QString&, const QStringList&, const QString&) { restarted = startProgram(); });
    bool reachable = true;
    bool opened = true;
    QTimer::singleShot(0, [&] {
        QTest::mouseClick(topLevel<ModeChooser>()->findChild<QPushButton*>("BitBtn3"), Qt::LeftButton);
        MainWindow* main = topLevel<MainWindow>();
        for (int i = 0; i < 3; ++i) {
            reachable = reachable && main->row(i).lampShowsReachable();
            QTest::mouseClick(main->row(i).openButton(), Qt::LeftButton);
            opened = opened && LineBuffer(stations[i]->commandFile()).line(5) == QStringLiteral("1");
            stations[i]->freeze(true);
        }
        // Each station's next tick hangs on its thread; then the operator refreshes.
        QTimer::singleShot(1500, main->findChild<QPushButton*>("BitBtn2"), &QPushButton::click);
    });
    QCOMPARE(ConsoleStart::run(ConsoleLock::installLockPath()), 0);
    QVERIFY(reachable);
    QVERIFY(opened);
    QVERIFY(restarted);
    QVERIFY(m_boxes.isEmpty());

    QTRY_COMPARE_WITH_TIMEOUT(lockHolder(), restarted->processId(), 15'000);
    QCOMPARE(restarted->state(), QProcess::Running);
    QCOMPARE(consolesRunning(), 1);
    // It is at its chooser, answering: a further start hands over to it and ends.
    std::unique_ptr<QProcess> further = startProgram();
    QTRY_COMPARE_WITH_TIMEOUT(further->state(), QProcess::NotRunning, 15'000);
    QCOMPARE(further->exitCode(), 0);
    QCOMPARE(consolesRunning(), 1);
    QCOMPARE(restarted->state(), QProcess::Running);
}

int main(int argc, char** argv)
{
    Application app(argc, argv, QStringLiteral("QuorvelServer"));
    TestStartup test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_startup.moc"
