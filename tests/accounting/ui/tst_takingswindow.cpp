#include "accounting/TakingsReport.h"
#include "accounting/ui/ControlWindow.h"
#include "accounting/ui/TakingsWindow.h"
#include "install/InstallPaths.h"
#include "install/Tables.h"
#include "platform/AppError.h"
#include "platform/Clock.h"
#include "platform/Regional.h"
#include "platform/report/ReportChart.h"
#include "platform/ui/MessageBoxes.h"
#include "support/SampleLedger.h"
#include "support/TestPrefix.h"

#include <QComboBox>
#include <QImage>
#include <QPainter>
#include <QProcess>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QtTest>

namespace {

const QDateTime Now(QDate(2026, 12, 11), QTime(21, 30, 0));
const QColor Blue(0, 0, 255);
const QColor Red(255, 0, 0);

// The bars of one colour in a picture, left to right: the height of each column's lowest run of
// that colour in pixels, and the bar's left edge. The legend's squares at the top are left out.
QList<std::pair<int, int>> barsOf(const QImage& image, const QColor& colour)
{
    QList<std::pair<int, int>> bars;
    bool inBar = false;
    for (int x = 0; x < image.width(); ++x) {
        int bottom = image.height() - 1;
        while (bottom >= 0 && image.pixelColor(x, bottom) != colour)
            --bottom;
        int top = bottom;
        while (top > 0 && image.pixelColor(x, top - 1) == colour)
            --top;
        const int height = bottom < image.height() / 8 ? 0 : bottom - top + 1;
        if (height > 0 && !inBar)
            bars.append({height, x});
        else if (height > 0)
            bars.last().first = std::max(bars.last().first, height);
        inBar = height > 0;
    }
    return bars;
}

QString pdfText(const QString& path)
{
    QProcess pdftotext;
    pdftotext.start(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), path, QStringLiteral("-")});
    pdftotext.waitForFinished(30000);
    // Shaped Arabic comes back in presentation forms; compare it in its plain letters.
    return QString::fromUtf8(pdftotext.readAllStandardOutput()).normalized(QString::NormalizationForm_KC);
}

} // namespace

class TestTakingsWindow : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void chartBarsRunRightToLeftInTheRatioOfTheirValues_data();
    void chartBarsRunRightToLeftInTheRatioOfTheirValues();
    void theButtonTakesFreeSpaceOnly();
    void opensOnTodayAndFollowsThePresets();
    void thePdfCarriesTitlePeriodAndTotals();
    void savingRefusesWhatTheExportRefuses_data();
    void savingRefusesWhatTheExportRefuses();

private:
    std::optional<TestPrefix> m_prefix;
    std::unique_ptr<Ledger> m_ledger;
    std::unique_ptr<ControlWindow> m_control;
    QList<MessageBoxes::Shown> m_boxes;
};

void TestTakingsWindow::init()
{
    m_prefix.emplace();
    m_prefix->makeTables();
    m_prefix->writeFile(InstallPaths::TariffFile, "0.5\r\n0.25");
    m_prefix->writeFile(InstallPaths::InstallRoot + "\\" + InstallPaths::RosterFile,
                        "PC01\r\nPC02\r\nPC03\r\nPC04\r\nPC05\r\nPC06");
    Regional::setOverride(Regional::Formats{"dd/MM/yyyy", "hh:mm:ss", '.'});
    Clock::setFixed(Now);
    m_boxes.clear();
    MessageBoxes::setRecorderForTests([this](const MessageBoxes::Shown& box) { m_boxes.append(box); });
    m_ledger = std::make_unique<Ledger>();
    m_control = std::make_unique<ControlWindow>(*m_ledger);
}

void TestTakingsWindow::cleanup()
{
    m_control.reset();
    m_ledger.reset();
    MessageBoxes::setRecorderForTests({});
    Clock::setFixed({});
    Regional::setOverride(std::nullopt);
    m_prefix.reset();
}

void TestTakingsWindow::chartBarsRunRightToLeftInTheRatioOfTheirValues_data()
{
    QTest::addColumn<QList<double>>("first");  // the first series, by category
    QTest::addColumn<QList<double>>("second"); // stacked on it; empty for one series
    QTest::newRow("one series") << QList<double>{10, 20, 40, 5} << QList<double>{};
    QTest::newRow("stacked") << QList<double>{10, 0, 30} << QList<double>{30, 20, 10};
    QTest::newRow("a category without takings") << QList<double>{7, 0, 14} << QList<double>{};
}

void TestTakingsWindow::chartBarsRunRightToLeftInTheRatioOfTheirValues()
{
    QFETCH(QList<double>, first);
    QFETCH(QList<double>, second);
    Report::Chart chart;
    chart.series = {{"a", Blue}};
    if (!second.isEmpty())
        chart.series.append({"b", Red});
    for (qsizetype c = 0; c < first.size(); ++c) {
        chart.categories << QString::number(c);
        chart.values << (second.isEmpty() ? QList<double>{first.at(c)} : QList<double>{first.at(c), second.at(c)});
    }
    QImage image(800, 400, QImage::Format_RGB32);
    image.fill(Qt::white);
    {
        QPainter painter(&image);
        ReportChart::paint(painter, chart, QRectF(0, 0, 800, 400), 4);
    }
    // Read from the right, the bars follow the categories.
    QList<std::pair<int, int>> blue = barsOf(image, Blue);
    std::reverse(blue.begin(), blue.end());
    QList<double> shown = first;
    shown.removeAll(0.0);
    QCOMPARE(blue.size(), shown.size());
    // Pixels per unit, from the tallest bar; each edge of a bar lies within a pixel of its place.
    const qsizetype tallest = std::max_element(shown.cbegin(), shown.cend()) - shown.cbegin();
    const double scale = blue.at(tallest).first / shown.at(tallest);
    for (qsizetype i = 0; i < shown.size(); ++i)
        QVERIFY2(std::abs(blue.at(i).first - shown.at(i) * scale) <= 2,
                 qPrintable(QStringLiteral("%1: %2 against %3").arg(i).arg(blue.at(i).first).arg(shown.at(i) * scale)));
    for (qsizetype i = 1; i < blue.size(); ++i)
        QVERIFY(blue.at(i).second < blue.at(i - 1).second);
    if (!second.isEmpty()) {
        QList<std::pair<int, int>> red = barsOf(image, Red);
        std::reverse(red.begin(), red.end());
        QCOMPARE(red.size(), second.size());
        for (qsizetype i = 0; i < second.size(); ++i)
            QVERIFY2(std::abs(red.at(i).first - second.at(i) * scale) <= 2, qPrintable(QString::number(i)));
    }
    // The value axis stands on the right: its labels lie right of the rightmost bar.
    const int right = blue.first().second + 10;
    bool label = false;
    for (int x = right + 40; x < image.width() && !label; ++x)
        for (int y = 0; y < image.height() && !label; ++y)
            label = qGray(image.pixel(x, y)) < 100;
    QVERIFY(label);
}

void TestTakingsWindow::theButtonTakesFreeSpaceOnly()
{
    auto* takings = m_control->findChild<QPushButton*>("BitBtnTakings");
    QVERIFY(takings);
    QCOMPARE(takings->text(), QStringLiteral("تقرير الإيراد"));
    // The window's own components where they always were.
    const QList<std::pair<const char*, QRect>> kept{{"Splitter1", {8, 8, 409, 345}},
                                                    {"BitBtn12", {317, 358, 100, 25}},
                                                    {"BitBtn14", {8, 358, 75, 25}},
                                                    {"GroupBox1", {8, 388, 409, 55}}};
    for (const auto& [name, geometry] : kept) {
        auto* w = m_control->findChild<QWidget*>(name);
        QCOMPARE(w->geometry(), geometry);
        QVERIFY2(!w->geometry().intersects(takings->geometry()), name);
    }
    QVERIFY(QRect(0, 0, 425, 451).contains(takings->geometry()));
    // Room for another button of the same size beside it.
    QVERIFY(takings->geometry().left() - m_control->findChild<QWidget*>("BitBtn14")->geometry().right() > 100 + 8);
}

void TestTakingsWindow::opensOnTodayAndFollowsThePresets()
{
    SampleLedger::store({SampleLedger::entryOf("11/12/2026|10:00:00|30|g|15|PC01"),
                         SampleLedger::entryOf("10/12/2026|10:00:00|60|i|15|PC02"),
                         SampleLedger::entryOf("01/12/2026|10:00:00|60|g|30|PC02")},
                        {"01/12/2026=30", "10/12/2026=15", "11/12/2026=15"});
    m_control->show();
    m_control->findChild<QPushButton*>("BitBtnTakings")->click();
    TakingsWindow* window = m_control->takingsWindow();
    QVERIFY(window && window->isVisible());
    QCOMPARE(window->layoutDirection(), Qt::RightToLeft);
    QVERIFY(m_boxes.isEmpty());
    QCOMPARE(window->result()->period, (Takings::Period{Now.date(), Now.date()}));
    QCOMPARE(window->result()->current.sums.total, 15.0);
    QCOMPARE(window->result()->previous.sums.total, 15.0);

    window->choosePreset(Takings::Preset::ThisMonth);
    QCOMPARE(window->findChild<QComboBox*>("PeriodPreset")->currentText(), QStringLiteral("هذا الشهر"));
    QCOMPARE(window->result()->current.sums.total, 60.0);
    auto* days = window->findChild<QTableWidget*>("DayTable");
    QCOMPARE(days->rowCount(), 4); // three days and the total
    // Figures are held left to right inside the right-to-left table.
    QCOMPARE(days->item(3, 5)->text(), QChar(0x202A) + QStringLiteral("60") + QChar(0x202C));
    QCOMPARE(window->findChild<QTableWidget*>("HourTable")->rowCount(), 24);
    // Opening it again brings the same window forward, with its period kept.
    m_control->findChild<QPushButton*>("BitBtnTakings")->click();
    QCOMPARE(m_control->takingsWindow(), window);
    QCOMPARE(window->result()->period.from, QDate(2026, 12, 1));
}

void TestTakingsWindow::thePdfCarriesTitlePeriodAndTotals()
{
    SampleLedger::store(SampleLedger::month(Now.date(), "dd/MM/yyyy", "hh:mm:ss"), {});
    TakingsWindow window;
    window.openWindow();
    window.setPeriod({QDate(2026, 12, 1), QDate(2026, 12, 11)});
    QTemporaryDir dir;
    const QString path = dir.filePath("takings.pdf");
    window.savePdf(path);
    const QString text = pdfText(path);
    QVERIFY2(text.contains("01/12/2026") && text.contains("11/12/2026"), qPrintable(text.left(2000)));
    QVERIFY2(text.contains(TakingsReport::money(window.result()->current.sums.total)), qPrintable(text.left(2000)));
    const QString title = TakingsReport::title();
    QString reversed = title;
    std::reverse(reversed.begin(), reversed.end());
    QVERIFY2(text.contains(title) || text.contains(reversed), qPrintable(text.left(2000)));
    QCOMPARE(window.pages().size() > 1, true);
}

void TestTakingsWindow::savingRefusesWhatTheExportRefuses_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("refusal");
    QTest::newRow("a link") << "link"
                            << "symbolic link";
    QTest::newRow("the entries table") << "table"
                                       << "it is the install's table DetailDays.DB";
    QTest::newRow("a folder") << "folder"
                              << "not a regular file";
}

void TestTakingsWindow::savingRefusesWhatTheExportRefuses()
{
    QFETCH(QString, kind);
    QFETCH(QString, refusal);
    TakingsWindow window;
    window.openWindow();
    QTemporaryDir dir;
    QString path = dir.filePath("out.csv");
    if (kind == "link")
        QVERIFY(QFile::link(dir.filePath("target"), path));
    else if (kind == "table")
        path = m_prefix->local(Tables::ledgerEntries().windowsPath());
    else
        QVERIFY(QDir().mkpath(path));
    const QByteArray before = kind == "table" ? m_prefix->readFile(Tables::ledgerEntries().windowsPath()) : QByteArray();
    for (const bool pdf : {false, true}) {
        try {
            pdf ? window.savePdf(path) : window.saveCsv(TakingsReport::Table::Day, path);
            QFAIL("written");
        } catch (const AppError& e) {
            QVERIFY2(e.text().contains(refusal), qPrintable(e.text()));
        }
    }
    QVERIFY(!QFile::exists(dir.filePath("target")));
    if (kind == "table")
        QCOMPARE(m_prefix->readFile(Tables::ledgerEntries().windowsPath()), before);
}

QTEST_MAIN(TestTakingsWindow)

#include "tst_takingswindow.moc"
