// Every window drawn offscreen with fixed data and compared with its approved image in
// docs/screens/. With QUORVEL_SCREENS_UPDATE=1 (scripts/screens.sh) the drawings become the
// approved images instead. A window is added with one entry in screens() below.

#include "accounting/Ledger.h"
#include "accounting/ShiftSlip.h"
#include "accounting/Shifts.h"
#include "accounting/ui/AuditWindow.h"
#include "accounting/ui/ControlWindow.h"
#include "accounting/ui/ShiftBar.h"
#include "accounting/ui/ShiftHistoryWindow.h"
#include "accounting/ui/TakingsWindow.h"
#include "app/ui/Console.h"
#include "app/ui/MainWindow.h"
#include "app/ui/ModeChooser.h"
#include "app/ui/StationTools.h"
#include "cards/CardTable.h"
#include "cards/ui/CardCreatorWindow.h"
#include "cards/ui/CardReportForm.h"
#include "install/Audit.h"
#include "install/InstallPaths.h"
#include "install/Installer.h"
#include "install/Tables.h"
#include "platform/Clock.h"
#include "platform/Regional.h"
#include "platform/report/ReportPainter.h"
#include "platform/store/TableStore.h"
#include "platform/ui/Application.h"
#include "platform/ui/MessageBoxes.h"
#include "stations/CommandChannel.h"
#include "support/SampleLedger.h"
#include "support/TestPrefix.h"

#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QMessageBox>
#include <QPainter>
#include <QProcess>
#include <QPushButton>
#include <QStyleFactory>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <functional>
#include <memory>

namespace {

// A throw-away demo install (six stations, PC06 without a share), standing at a fixed moment
// with fixed regional formats. Each window is drawn in a scene of its own, so that nothing one
// drawing leaves behind reaches another.
class Scene
{
public:
    Scene()
    {
        Installer installer({true, QString()});
        if (!installer.run())
            qFatal("demo install failed: %s", qPrintable(installer.report().join(QLatin1Char('\n'))));
        m_prefix.writeFile(InstallPaths::TariffFile, "0.5\r\n0.25");
        Regional::setOverride(Regional::Formats{QStringLiteral("dd/MM/yyyy"), QStringLiteral("hh:mm:ss"), u'.'});
        Clock::setFixed(QDateTime(QDate(2026, 3, 14), QTime(21, 5, 30)));
        // A box that is not part of the picture would wait for a click that never comes.
        MessageBoxes::setRecorderForTests([this](const MessageBoxes::Shown& box) { m_unexpectedBoxes << box.text; });
    }
    ~Scene()
    {
        m_console.reset();
        Audit::setOperatorName(QString());
        MessageBoxes::setRecorderForTests({});
        Clock::setFixed(QDateTime());
        Regional::setOverride(std::nullopt);
    }
    Scene(const Scene&) = delete;
    Scene& operator=(const Scene&) = delete;

    const TestPrefix& prefix() const { return m_prefix; }
    QString scratchFile(const QString& name) const { return m_scratch.filePath(name); }
    const QStringList& unexpectedBoxes() const { return m_unexpectedBoxes; }
    // Boxes drawn on purpose are shown for real.
    void showBoxes() { MessageBoxes::setRecorderForTests({}); }

    // Three days of sessions, billed as the main window bills them, each at its own moment.
    void addLedgerDays()
    {
        struct Billed
        {
            QDateTime at;
            const char* minutes;
            const char* station;
            bool games;
        };
        const QList<Billed> sessions{
            {{{2026, 3, 12}, {10, 15, 2}}, "30", "PC01", true},  {{{2026, 3, 12}, {11, 40, 45}}, "60", "PC03", false},
            {{{2026, 3, 12}, {16, 2, 9}}, "15", "PC02", true},   {{{2026, 3, 13}, {9, 30, 0}}, "120", "PC05", false},
            {{{2026, 3, 13}, {18, 12, 31}}, "20", "PC01", true}, {{{2026, 3, 14}, {14, 0, 12}}, "10", "PC04", true},
            {{{2026, 3, 14}, {19, 45, 3}}, "60", "PC02", false}, {{{2026, 3, 14}, {20, 50, 27}}, "30", "PC01", true},
        };
        Ledger ledger;
        for (const Billed& s : sessions) {
            Clock::setFixed(s.at);
            ledger.recordSession({QString::fromLatin1(s.minutes), QString::fromLatin1(s.station), s.games,
                                  s.games ? QStringLiteral("0.5") : QStringLiteral("0.25")});
        }
        Clock::setFixed(QDateTime(QDate(2026, 3, 14), QTime(21, 5, 30)));
    }

    // A batch of cards in the main table, written by the generator's own step with draws that
    // repeat from run to run.
    void addCards(int count)
    {
        class FixedDraws final : public Cards::CardRandom
        {
        public:
            Cards::Draw draw() override
            {
                m_state = m_state * 1103515245u + 12345u;
                const auto part = [this](int bound, int shift) { return int((m_state >> shift) % unsigned(bound)); };
                return {part(Cards::LetterCount, 3), part(Cards::LetterCount, 9), part(Cards::NumberLimit, 13),
                        part(Cards::LetterCount, 21)};
            }

        private:
            std::uint32_t m_state = 2026;
        } draws;
        TableStore table;
        Cards::useMainTable(table);
        for (int i = 0; i < count; ++i) {
            const Cards::Kind& kind = Cards::kinds().at(i % 3 == 2 ? 1 : 0);
            Cards::writeCard(table, draws, {Cards::Categories.at(i / 8 % 4), kind, QStringLiteral("0.5")});
        }
        table.CloseTable();
    }

    // The takings window as the central control window opens it, on this month of a café's
    // sessions up to today.
    TakingsWindow* takingsWindow()
    {
        if (!m_console) {
            const QDate today = Clock::now().date();
            SampleLedger::store(SampleLedger::month(today, QStringLiteral("dd/MM/yyyy"), QStringLiteral("hh:mm:ss")), {});
            m_console = std::make_unique<Console>();
            m_console->control()->openWindow();
            m_console->control()->BitBtnTakingsClick();
            m_console->control()->takingsWindow()->choosePreset(Takings::Preset::ThisMonth);
        }
        return m_console->control()->takingsWindow();
    }

private:
    TestPrefix m_prefix;
    QTemporaryDir m_scratch;
    QStringList m_unexpectedBoxes;
    std::unique_ptr<Console> m_console;
};

// The window as it stands, without a focused control (no cursor, no focus frame), so that a
// drawing does not depend on what the window system activated first.
QImage draw(QWidget* window)
{
    // What the handlers left for the loop to finish (a grid following its table) is done first.
    QCoreApplication::processEvents();
    if (QWidget* focused = window->focusWidget())
        focused->clearFocus();
    return window->grab().toImage().convertToFormat(QImage::Format_RGB32);
}

// A modal box as it is shown: open() shows it, and it is drawn and dismissed as soon as it is up,
// after fill() typed into it what the picture shows.
QImage drawModal(const std::function<void()>& open, const std::function<void(QWidget*)>& fill = {})
{
    QImage image;
    QTimer::singleShot(0, [&image, &fill] {
        QWidget* box = QApplication::activeModalWidget();
        if (!box)
            return;
        if (fill)
            fill(box);
        image = draw(box);
        box->close();
    });
    open();
    return image;
}

// The main window after the show sequence, its rows counting, owed a close, unreachable and
// empty, in the mode chosen.
// The first page of a PDF as pdftoppm draws it at 72 dpi.
QImage firstPage(Scene& scene, const QString& pdf, bool grey)
{
    const QString page = scene.scratchFile(QStringLiteral("page"));
    QStringList arguments{QStringLiteral("-png"), QStringLiteral("-r"), QStringLiteral("72"), QStringLiteral("-f"),
                          QStringLiteral("1"),    QStringLiteral("-l"), QStringLiteral("1"),  QStringLiteral("-singlefile")};
    if (grey)
        arguments << QStringLiteral("-gray");
    QProcess::execute(QStringLiteral("pdftoppm"), arguments << pdf << page);
    const QImage image(page + QStringLiteral(".png"));
    return image.convertToFormat(grey ? QImage::Format_Grayscale8 : QImage::Format_RGB32);
}

// The central control window on three billed days, their totals recomputed.
void openRecomputedLedger(Scene& scene, Console& console)
{
    scene.addLedgerDays();
    console.control()->loadTariffs();
    console.control()->openWindow();
    console.control()->BitBtn12Click();
}

QImage drawMainWindow(bool cardMode)
{
    Console console;
    console.form6()->show();
    if (cardMode)
        console.form6()->BitBtn5Click();
    else
        console.form6()->BitBtn3Click();
    StationTools* tools = console.tools();
    const QDateTime now = Clock::now().toUTC();
    // PC01 counts a half hour bought a while ago; PC03 a long session carried over from old data.
    CountdownState counting;
    Countdown::resume(counting, 12 * 60 + 34, 30, now.addSecs(12 * 60 + 34));
    tools->setCountdown(0, counting);
    CountdownState longSession;
    Countdown::resume(longSession, 32766 * 60 + 58, 32767, now.addSecs(32766 * 60 + 58));
    tools->setCountdown(2, longSession);
    // PC04's session ended while its station was away: the station is still owed its close.
    CountdownState owed;
    Countdown::endUnattended(owed, false, 15, now.addSecs(-40));
    tools->setCountdown(3, owed);
    console.form1()->setLamp(3, false);
    // The ticks would change the captions while the window is drawn.
    for (int i = 0; i < StationTools::StationCount; ++i)
        tools->timer(i)->stop();
    return draw(console.form1());
}

// Sami's evening shift, opened with 50 in the drawer, two sessions billed since; with a count, it
// is closed and an earlier one of Hana's is in the list as well.
void addShift(std::optional<double> counted)
{
    Clock::setFixed(QDateTime(QDate(2026, 3, 14), QTime(8, 0)));
    Shifts::open(QStringLiteral("هناء"), 20);
    Clock::setFixed(QDateTime(QDate(2026, 3, 14), QTime(15, 0)));
    Shifts::handOver(20, QStringLiteral("سامي"));
    Ledger ledger;
    for (const auto& [at, minutes, games] :
         {std::tuple{QTime(19, 45, 3), "60", false}, std::tuple{QTime(20, 50, 27), "30", true}}) {
        Clock::setFixed(QDateTime(QDate(2026, 3, 14), at));
        ledger.recordSession({QString::fromLatin1(minutes), QStringLiteral("PC02"), games,
                              games ? QStringLiteral("0.5") : QStringLiteral("0.25")});
    }
    Clock::setFixed(QDateTime(QDate(2026, 3, 14), QTime(21, 5, 30)));
    if (counted)
        Shifts::close(*counted);
}

struct Screen
{
    QString name; // docs/screens/<name>.png
    std::function<QImage(Scene&)> draw;
};

// Every window, drawn with fixed data. One entry a window.
const QList<Screen>& screens()
{
    static const QList<Screen> all{
        {QStringLiteral("chooser"),
         [](Scene&) {
             Console console;
             console.form6()->show();
             return draw(console.form6());
         }},
        {QStringLiteral("main-window"), [](Scene&) { return drawMainWindow(false); }},
        {QStringLiteral("main-window-card-mode"), [](Scene&) { return drawMainWindow(true); }},
        {QStringLiteral("control-window"),
         [](Scene& scene) {
             Console console;
             openRecomputedLedger(scene, console);
             return draw(console.control());
         }},
        {QStringLiteral("card-creator"),
         [](Scene& scene) {
             scene.addCards(40);
             CardCreatorWindow window;
             window.show();
             window.Button2Click();
             return draw(&window);
         }},
        {QStringLiteral("card-report"),
         [](Scene& scene) {
             scene.addCards(40);
             const QString pdf = scene.scratchFile(QStringLiteral("report.pdf"));
             writeCardReportPdf(pdf);
             // Black print on white paper: a grey picture is a third of the size.
             return firstPage(scene, pdf, true);
         }},
        {QStringLiteral("takings-window"), [](Scene& scene) { return draw(scene.takingsWindow()); }},
        {QStringLiteral("takings-report"),
         [](Scene& scene) {
             const QString pdf = scene.scratchFile(QStringLiteral("takings.pdf"));
             scene.takingsWindow()->savePdf(pdf);
             return firstPage(scene, pdf, false);
         }},
        {QStringLiteral("audit-window"),
         [](Scene& scene) {
             Console console;
             openRecomputedLedger(scene, console);
             console.control()->AuditButtonClick();
             return draw(console.control()->auditWindow());
         }},
        {QStringLiteral("shift-open"),
         [](Scene&) {
             Console console;
             return drawModal([&] { console.form1()->shiftBar()->OpenClick(); });
         }},
        {QStringLiteral("shift-close"),
         [](Scene&) {
             addShift(std::nullopt);
             Console console;
             return drawModal([&] { console.form1()->shiftBar()->CloseClick(); },
                              [](QWidget* dialog) {
                                  dialog->findChild<QLineEdit*>(QStringLiteral("CashEdit"))->setText(QStringLiteral("78"));
                              });
         }},
        {QStringLiteral("shift-slip"),
         [](Scene& scene) {
             addShift(78);
             const QString pdf = scene.scratchFile(QStringLiteral("slip.pdf"));
             const Report::Definition definition = ShiftSlip::definition();
             ReportPainter::writePdf(pdf, definition, ShiftSlip::layOut(definition, Shifts::closing(Shifts::history().first())));
             return firstPage(scene, pdf, true);
         }},
        {QStringLiteral("shift-history"),
         [](Scene&) {
             addShift(78);
             Clock::setFixed(QDateTime(QDate(2026, 3, 14), QTime(21, 10)));
             Shifts::open(QStringLiteral("هناء"), 78);
             ShiftHistoryWindow window;
             window.show();
             window.reload();
             return draw(&window);
         }},
        {QStringLiteral("error-box"),
         [](Scene& scene) {
             QFile::remove(scene.prefix().local(InstallPaths::TariffFile));
             scene.showBoxes();
             // The mode chosen while the tariff file is missing.
             Console console;
             return drawModal([&] { console.form6()->BitBtn3Click(); });
         }},
        {QStringLiteral("message-box"),
         [](Scene& scene) {
             scene.showBoxes();
             return drawModal([] { MessageBoxes::showMessage(ConnectionFailedMessage); });
         }},
    };
    return all;
}

// A pixel differs when one of its channels moved by more than this: antialiasing may shift an
// edge's shade a little, a glyph or an edge that moved changes it by far more.
constexpr int ShadeTolerance = 32;

struct Difference
{
    int pixels = 0;
    QImage picture; // the approved image faded: differing pixels red, pixels within the tolerance orange
};

Difference compare(const QImage& approved, const QImage& drawn)
{
    const QSize size = approved.size().expandedTo(drawn.size());
    Difference d;
    d.picture = QImage(size, QImage::Format_RGB32);
    d.picture.fill(Qt::white);
    for (int y = 0; y < size.height(); ++y) {
        for (int x = 0; x < size.width(); ++x) {
            const bool inBoth = approved.valid(x, y) && drawn.valid(x, y);
            const QRgb a = approved.valid(x, y) ? approved.pixel(x, y) : qRgb(255, 255, 255);
            bool differs = !inBoth;
            if (inBoth) {
                const QRgb b = drawn.pixel(x, y);
                differs = std::abs(qRed(a) - qRed(b)) > ShadeTolerance || std::abs(qGreen(a) - qGreen(b)) > ShadeTolerance
                    || std::abs(qBlue(a) - qBlue(b)) > ShadeTolerance;
            }
            if (differs) {
                ++d.pixels;
                d.picture.setPixel(x, y, qRgb(255, 0, 0));
            } else if (drawn.pixel(x, y) != a) {
                d.picture.setPixel(x, y, qRgb(255, 165, 0));
            } else {
                const int grey = 128 + qGray(a) / 2;
                d.picture.setPixel(x, y, qRgb(grey, grey, grey));
            }
        }
    }
    return d;
}

bool sameImage(const QImage& a, const QImage& b)
{
    return a.size() == b.size() && a.convertToFormat(QImage::Format_RGB32) == b.convertToFormat(QImage::Format_RGB32);
}

} // namespace

class TestScreens : public QObject
{
    Q_OBJECT
private slots:
    void windowLooksAsApproved_data();
    void windowLooksAsApproved();
};

void TestScreens::windowLooksAsApproved_data()
{
    QTest::addColumn<int>("entry");
    for (int i = 0; i < screens().size(); ++i)
        QTest::newRow(qPrintable(screens().at(i).name)) << i;
}

void TestScreens::windowLooksAsApproved()
{
    QFETCH(int, entry);
    const Screen& screen = screens().at(entry);
    const QString approvedDir = qEnvironmentVariable("QUORVEL_SCREENS_DIR");
    QVERIFY2(!approvedDir.isEmpty(), "QUORVEL_SCREENS_DIR names docs/screens/");
    const QString approvedFile = QDir(approvedDir).filePath(screen.name + QStringLiteral(".png"));

    QImage drawn;
    {
        Scene scene;
        drawn = screen.draw(scene);
        QVERIFY2(scene.unexpectedBoxes().isEmpty(), qPrintable(scene.unexpectedBoxes().join(QLatin1Char('\n'))));
    }
    QVERIFY2(!drawn.isNull(), "nothing was drawn");

    const QImage approved(approvedFile);
    if (qEnvironmentVariableIntValue("QUORVEL_SCREENS_UPDATE") == 1) {
        // An image that still holds is left as it is, so only real changes reach a commit.
        if (!sameImage(approved, drawn))
            QVERIFY2(drawn.save(approvedFile, "PNG", 0), qPrintable(approvedFile));
        return;
    }
    QVERIFY2(!approved.isNull(),
             qPrintable(QStringLiteral("no approved image %1: scripts/screens.sh draws it").arg(approvedFile)));

    const Difference difference = compare(approved, drawn);
    if (difference.pixels == 0)
        return;
    const QDir out(qEnvironmentVariable("QUORVEL_TEST_BINARY_DIR", QDir::currentPath()) + QStringLiteral("/screens-diff"));
    out.mkpath(QStringLiteral("."));
    const QString differenceFile = out.filePath(screen.name + QStringLiteral("-difference.png"));
    const QString drawnFile = out.filePath(screen.name + QStringLiteral(".png"));
    difference.picture.save(differenceFile);
    drawn.save(drawnFile);
    QFAIL(qPrintable(QStringLiteral("%1 differs from %2 in %3 pixels (drawn %4x%5, approved %6x%7); difference: %8; drawn now: "
                                    "%9; if the change is meant, scripts/screens.sh approves it")
                         .arg(screen.name, approvedFile)
                         .arg(difference.pixels)
                         .arg(drawn.width())
                         .arg(drawn.height())
                         .arg(approved.width())
                         .arg(approved.height())
                         .arg(differenceFile, drawnFile)));
}

namespace {

// The console's package depends on these font packages; the drawings use exactly their fonts,
// whatever else the machine has installed, with fontconfig's own settings.
const char* const FontPackages[] = {"fonts-noto-core", "fonts-dejavu-core", "fonts-liberation2"};

void useOnlyThePackagesFonts(const QTemporaryDir& dir)
{
    const QDir fonts(dir.filePath(QStringLiteral("fonts")));
    fonts.mkpath(QStringLiteral("."));
    for (const char* package : FontPackages) {
        QFile list(QStringLiteral("/var/lib/dpkg/info/%1.list").arg(QLatin1String(package)));
        if (!list.open(QIODevice::ReadOnly))
            qFatal("%s is not installed (scripts/install-deps.sh installs it)", package);
        const QStringList files = QString::fromUtf8(list.readAll()).split(QLatin1Char('\n'));
        for (const QString& file : files) {
            if (file.endsWith(QLatin1String(".ttf")) || file.endsWith(QLatin1String(".otf")))
                QFile::link(file, fonts.filePath(QLatin1String(package) + QLatin1Char('-') + QFileInfo(file).fileName()));
        }
    }
    const QString config = dir.filePath(QStringLiteral("fonts.conf"));
    QFile conf(config);
    if (!conf.open(QIODevice::WriteOnly))
        qFatal("cannot write %s", qPrintable(config));
    conf.write(QStringLiteral("<?xml version=\"1.0\"?>\n<!DOCTYPE fontconfig SYSTEM \"urn:fontconfig:fonts.dtd\">\n"
                              "<fontconfig><dir>%1</dir><cachedir>%2</cachedir></fontconfig>\n")
                   .arg(fonts.path().toHtmlEscaped(), dir.filePath(QStringLiteral("cache")).toHtmlEscaped())
                   .toUtf8());
    qputenv("FONTCONFIG_FILE", QFile::encodeName(config));
}

// Nothing of the desktop the test happens to run on reaches the drawings.
void pinRenderer(const QTemporaryDir& fontDir)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    for (const char* setting : {"QT_QPA_PLATFORMTHEME", "QT_STYLE_OVERRIDE", "QT_SCALE_FACTOR", "QT_SCREEN_SCALE_FACTORS",
                                "QT_FONT_DPI", "QT_ENABLE_HIGHDPI_SCALING", "QT_SCALE_FACTOR_ROUNDING_POLICY"})
        qunsetenv(setting);
    qputenv("TZ", "UTC");
    qputenv("LC_ALL", "C.UTF-8");
    useOnlyThePackagesFonts(fontDir);
}

} // namespace

int main(int argc, char** argv)
{
    const QTemporaryDir fontDir;
    pinRenderer(fontDir);
    Application app(argc, argv, QStringLiteral("QuorvelServer"));
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    // A text cursor, where one shows, does not blink.
    QApplication::setCursorFlashTime(0);
    TestScreens test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_screens.moc"
