#include "accounting/ui/TakingsWindow.h"

#include "install/OutputFile.h"
#include "platform/AppError.h"
#include "platform/Clock.h"
#include "platform/Regional.h"
#include "platform/report/ReportChart.h"
#include "platform/report/ReportPainter.h"
#include "platform/ui/Guard.h"
#include "platform/ui/ReportPreview.h"

#include <QComboBox>
#include <QDateEdit>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLocale>
#include <QMenu>
#include <QPainter>
#include <QPushButton>
#include <QStyle>
#include <QTabWidget>
#include <QTableWidget>
#include <QVBoxLayout>

namespace {

// The three charts one under the other, each under its caption, painted as the report pages
// paint them.
class ChartsView final : public QWidget
{
public:
    explicit ChartsView(QWidget* parent)
        : QWidget(parent)
    {
        setObjectName(QStringLiteral("Charts"));
        setMinimumHeight(360);
    }
    void setCharts(QList<std::pair<QString, std::shared_ptr<const Report::Chart>>> charts)
    {
        m_charts = std::move(charts);
        update();
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        Guard::run([this] {
            QPainter painter(this);
            painter.fillRect(rect(), Qt::white);
            painter.setRenderHint(QPainter::Antialiasing);
            if (m_charts.isEmpty())
                return;
            const double dotsPerMm = logicalDpiX() / 25.4;
            const double slice = double(height()) / double(m_charts.size());
            const double captionHeight = fontMetrics().height() + 4;
            for (qsizetype i = 0; i < m_charts.size(); ++i) {
                const QRectF box(8, slice * double(i), width() - 16, slice);
                painter.setPen(Qt::black);
                painter.drawText(box.adjusted(0, 2, 0, 0), Qt::AlignRight | Qt::AlignTop, m_charts.at(i).first);
                ReportChart::paint(painter, *m_charts.at(i).second, box.adjusted(0, captionHeight, 0, -4), dotsPerMm);
            }
        });
    }

private:
    QList<std::pair<QString, std::shared_ptr<const Report::Chart>>> m_charts;
};

QTableWidget* makeTable(QWidget* parent, const QString& name, const QStringList& headers)
{
    auto* table = new QTableWidget(0, int(headers.size()), parent);
    table->setObjectName(name);
    table->setHorizontalHeaderLabels(headers);
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->verticalHeader()->setVisible(false);
    table->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    table->horizontalHeader()->setStretchLastSection(true);
    return table;
}

// Figures and dates read left to right inside the right-to-left table, so that "-7.5" and
// "+1 (+0.4%)" keep their signs in front and "05/12/2026" its order; a text in Arabic letters is
// left to the table's direction.
QString leftToRight(const QString& text)
{
    for (const QChar c : text) {
        if (c.script() == QChar::Script_Arabic)
            return text;
    }
    return QChar(0x202A) + text + QChar(0x202C);
}

void fillTable(QTableWidget* table, const QList<QStringList>& rows)
{
    table->setUpdatesEnabled(false);
    table->setRowCount(int(rows.size()));
    for (int r = 0; r < int(rows.size()); ++r) {
        for (int c = 0; c < table->columnCount(); ++c) {
            auto* item = new QTableWidgetItem(leftToRight(rows.at(r).value(c)));
            if (c > 0)
                item->setTextAlignment(Qt::AlignCenter);
            table->setItem(r, c, item);
        }
    }
    table->setUpdatesEnabled(true);
}

const QString TableNames[] = {QStringLiteral("DayTable"), QStringLiteral("StationTable"), QStringLiteral("HourTable"),
                              QStringLiteral("KindTable")};

} // namespace

TakingsWindow::TakingsWindow(QWidget* parent)
    : QWidget(parent, Qt::Window)
{
    setObjectName(QStringLiteral("FormTakings"));
    setWindowTitle(TakingsReport::title());
    setLayoutDirection(Qt::RightToLeft);
    resize(760, 640);

    auto* layout = new QVBoxLayout(this);
    auto* bar = new QHBoxLayout;
    layout->addLayout(bar);
    bar->addWidget(new QLabel(QStringLiteral("الفترة"), this));
    m_preset = new QComboBox(this);
    m_preset->setObjectName(QStringLiteral("PeriodPreset"));
    for (const Takings::Preset p : Takings::presets())
        m_preset->addItem(Takings::caption(p), int(p));
    m_preset->addItem(QStringLiteral("من - إلى"), -1);
    bar->addWidget(m_preset);
    bar->addWidget(new QLabel(QStringLiteral("من"), this));
    m_from = new QDateEdit(this);
    m_from->setObjectName(QStringLiteral("DateFrom"));
    bar->addWidget(m_from);
    bar->addWidget(new QLabel(QStringLiteral("إلى"), this));
    m_to = new QDateEdit(this);
    m_to->setObjectName(QStringLiteral("DateTo"));
    bar->addWidget(m_to);
    for (QDateEdit* box : {m_from, m_to}) {
        box->setCalendarPopup(true);
        // A date is read left to right, also in this window.
        box->setLayoutDirection(Qt::LeftToRight);
        box->setDisplayFormat(Regional::current().shortDateFormat);
    }
    auto* show = new QPushButton(QStringLiteral("عرض"), this);
    show->setObjectName(QStringLiteral("ShowButton"));
    show->setIcon(style()->standardIcon(QStyle::SP_BrowserReload));
    bar->addWidget(show);
    bar->addStretch();

    m_period = new QLabel(this);
    m_period->setObjectName(QStringLiteral("PeriodLabel"));
    layout->addWidget(m_period);
    m_notices = new QLabel(this);
    m_notices->setObjectName(QStringLiteral("Notices"));
    m_notices->setStyleSheet(QStringLiteral("color: #b00020"));
    m_notices->setWordWrap(true);
    layout->addWidget(m_notices);

    m_figures = makeTable(this, QStringLiteral("Figures"), {QString(), QString(), QString(), QString()});
    m_figures->horizontalHeader()->setVisible(false);
    m_figures->verticalHeader()->setDefaultSectionSize(m_figures->fontMetrics().height() + 6);
    m_figures->setMinimumHeight(11 * (m_figures->fontMetrics().height() + 6) + 4);
    layout->addWidget(m_figures);

    m_tabs = new QTabWidget(this);
    m_tabs->setObjectName(QStringLiteral("Tabs"));
    m_charts = new ChartsView(m_tabs);
    m_tabs->addTab(m_charts, QStringLiteral("الرسوم"));
    for (const TakingsReport::Table t : TakingsReport::tables()) {
        QTableWidget* table = makeTable(m_tabs, TableNames[int(t)], TakingsReport::headers(t));
        m_tables.append(table);
        m_tabs->addTab(table, TakingsReport::caption(t));
    }
    layout->addWidget(m_tabs, 1);

    auto* buttons = new QHBoxLayout;
    layout->addLayout(buttons);
    auto* preview = new QPushButton(QStringLiteral("معاينة وطباعة"), this);
    preview->setObjectName(QStringLiteral("PreviewButton"));
    preview->setIcon(style()->standardIcon(QStyle::SP_FileDialogContentsView));
    auto* pdf = new QPushButton(QStringLiteral("حفظ PDF"), this);
    pdf->setObjectName(QStringLiteral("PdfButton"));
    auto* csv = new QPushButton(QStringLiteral("حفظ CSV"), this);
    csv->setObjectName(QStringLiteral("CsvButton"));
    auto* csvMenu = new QMenu(csv);
    for (const TakingsReport::Table t : TakingsReport::tables()) {
        QAction* action = csvMenu->addAction(TakingsReport::caption(t));
        action->setObjectName(QStringLiteral("Csv_") + TakingsReport::key(t));
        connect(action, &QAction::triggered, this, Guard::slot([this, t] { CsvClick(t); }));
    }
    csv->setMenu(csvMenu);
    auto* close = new QPushButton(QStringLiteral("إغلاق"), this);
    close->setObjectName(QStringLiteral("CloseButton"));
    close->setIcon(style()->standardIcon(QStyle::SP_DialogCancelButton));
    close->setShortcut(QKeySequence(Qt::Key_Escape));
    buttons->addWidget(preview);
    buttons->addWidget(pdf);
    buttons->addWidget(csv);
    buttons->addStretch();
    buttons->addWidget(close);

    connect(m_preset, &QComboBox::activated, this, Guard::slot([this] {
                const int p = m_preset->currentData().toInt();
                if (p >= 0)
                    choosePreset(Takings::Preset(p));
            }));
    connect(show, &QPushButton::clicked, this, Guard::slot([this] {
                m_preset->setCurrentIndex(m_preset->count() - 1);
                showPeriod();
            }));
    connect(preview, &QPushButton::clicked, this, Guard::slot(this, &TakingsWindow::PreviewClick));
    connect(pdf, &QPushButton::clicked, this, Guard::slot(this, &TakingsWindow::PdfClick));
    connect(close, &QPushButton::clicked, this, &QWidget::close);
}

void TakingsWindow::openWindow()
{
    show();
    raise();
    activateWindow();
    if (!m_shownOnce) {
        m_shownOnce = true;
        choosePreset(Takings::Preset::Today);
    }
}

void TakingsWindow::choosePreset(Takings::Preset preset)
{
    const int index = m_preset->findData(int(preset));
    m_preset->setCurrentIndex(index);
    setPeriod(Takings::periodOf(preset, Clock::now().date(), QLocale::system().firstDayOfWeek()));
}

void TakingsWindow::setPeriod(const Takings::Period& period)
{
    m_from->setDate(period.from);
    m_to->setDate(period.to);
    showPeriod();
}

void TakingsWindow::showPeriod()
{
    const Takings::Period period{m_from->date(), m_to->date()};
    if (period.from > period.to)
        throw AppError(QStringLiteral("بداية الفترة بعد نهايتها"));
    m_result = Takings::compute(period, Clock::now().date(), Takings::rosterStations());
    fill();
}

void TakingsWindow::fill()
{
    const Takings::Result& r = *m_result;
    m_period->setText(TakingsReport::periodText(r.period));
    const QStringList notices = TakingsReport::notices(r);
    m_notices->setText(notices.join(u'\n'));
    m_notices->setVisible(!notices.isEmpty());
    const QList<QStringList> figures = TakingsReport::figureRows(r);
    fillTable(m_figures, figures.mid(1));
    m_figures->setHorizontalHeaderLabels(figures.first());
    m_figures->horizontalHeader()->setVisible(true);
    for (const TakingsReport::Table t : TakingsReport::tables())
        fillTable(m_tables.at(int(t)), TakingsReport::rows(r, t));
    static_cast<ChartsView*>(m_charts)->setCharts({
        {r.period.days() <= 62 ? QStringLiteral("الإيراد اليومي حسب النوع") : QStringLiteral("الإيراد الشهري حسب النوع"),
         TakingsReport::dayChart(r)},
        {QStringLiteral("الإيراد حسب ساعة اليوم"), TakingsReport::hourChart(r)},
        {QStringLiteral("الإيراد حسب الجهاز"), TakingsReport::stationChart(r)},
    });
}

void TakingsWindow::requireResult() const
{
    if (!m_result)
        throw AppError(QStringLiteral("لم تُعرض فترة بعد"));
}

Report::Definition TakingsWindow::reportDefinition() const
{
    requireResult();
    return TakingsReport::definition(*m_result);
}

QList<Report::Page> TakingsWindow::pages() const
{
    return TakingsReport::layOut(*m_result, reportDefinition(), Regional::shortDate(Clock::now().date()));
}

void TakingsWindow::savePdf(const QString& path) const
{
    const Report::Definition definition = reportDefinition();
    const QList<Report::Page> laidOut = pages();
    OutputFile::replace(path, [&](QIODevice& out) { ReportPainter::writePdf(out, definition, laidOut); });
}

void TakingsWindow::saveCsv(TakingsReport::Table table, const QString& path) const
{
    requireResult();
    const QByteArray bytes = TakingsReport::csv(*m_result, table);
    OutputFile::replace(path, [&](QIODevice& out) {
        if (out.write(bytes) != bytes.size())
            throw AppError(QStringLiteral("Cannot write the CSV. %1").arg(out.errorString()));
    });
}

void TakingsWindow::PreviewClick()
{
    ReportPreview::exec(reportDefinition(), pages(), this);
}

void TakingsWindow::PdfClick()
{
    requireResult();
    const QString path = QFileDialog::getSaveFileName(this, QStringLiteral("حفظ PDF"), QStringLiteral("takings.pdf"),
                                                      QStringLiteral("PDF (*.pdf)"));
    if (!path.isEmpty())
        savePdf(path);
}

void TakingsWindow::CsvClick(TakingsReport::Table table)
{
    requireResult();
    const QString path = QFileDialog::getSaveFileName(this, QStringLiteral("حفظ CSV"),
                                                      QStringLiteral("takings-%1.csv").arg(TakingsReport::key(table)),
                                                      QStringLiteral("CSV (*.csv)"));
    if (!path.isEmpty())
        saveCsv(table, path);
}
