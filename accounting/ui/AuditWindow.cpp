#include "accounting/ui/AuditWindow.h"

#include "accounting/AuditReport.h"
#include "install/OwnerPin.h"
#include "install/ui/OwnerPinPrompt.h"
#include "platform/AppError.h"
#include "platform/report/ReportPainter.h"
#include "platform/ui/Guard.h"
#include "platform/ui/MessageBoxes.h"
#include "platform/ui/ReportPreview.h"
#include "platform/ui/Widgets.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QTableWidget>

namespace {

QComboBox* filterBox(QWidget* parent, const QString& name, int left)
{
    auto* box = new QComboBox(parent);
    box->setObjectName(name);
    box->setGeometry(left, 8, 150, 22);
    return box;
}

// The first choice lets everything through; the others carry the value they filter on.
void fill(QComboBox* box, const QString& all, const QStringList& values, QString (*caption)(const QString&))
{
    const QString kept = box->currentData().toString();
    const QSignalBlocker quiet(box);
    box->clear();
    box->addItem(all, QString());
    for (const QString& value : values)
        box->addItem(caption ? caption(value) : value, value);
    box->setCurrentIndex(qMax(0, box->findData(kept)));
}

} // namespace

AuditWindow::AuditWindow(QWidget* parent)
    : QWidget(parent, Qt::Window)
{
    setObjectName(QStringLiteral("FormAudit"));
    setWindowTitle(QStringLiteral("سجل الأحداث"));
    setLayoutDirection(Qt::RightToLeft);
    resize(900, 520);

    m_eventBox = filterBox(this, QStringLiteral("EventBox"), 8);
    m_stationBox = filterBox(this, QStringLiteral("StationBox"), 166);
    m_dayBox = filterBox(this, QStringLiteral("DayBox"), 324);
    for (QComboBox* box : {m_dayBox, m_stationBox, m_eventBox})
        connect(box, &QComboBox::currentIndexChanged, this, Guard::slot(this, &AuditWindow::FilterChange));

    m_chainLabel = new QLabel(this);
    m_chainLabel->setObjectName(QStringLiteral("ChainLabel"));
    m_chainLabel->setGeometry(8, 36, 884, 20);
    m_chainLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);

    m_grid = new QTableWidget(this);
    m_grid->setObjectName(QStringLiteral("EventGrid"));
    m_grid->setGeometry(8, 60, 884, 420);
    m_grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_grid->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_grid->setColumnCount(int(AuditReport::columnTitles().size()));
    m_grid->setHorizontalHeaderLabels(AuditReport::columnTitles());
    m_grid->verticalHeader()->hide();
    m_grid->horizontalHeader()->setStretchLastSection(true);

    auto* print = Widgets::button(this, QStringLiteral("PrintButton"), QStringLiteral("طباعة"), 792, 488, 100, 25);
    print->setIcon(style()->standardIcon(QStyle::SP_FileIcon));
    connect(print, &QPushButton::clicked, this, Guard::slot(this, &AuditWindow::PrintClick));
    auto* pdf = Widgets::button(this, QStringLiteral("PdfButton"), QStringLiteral("PDF"), 686, 488, 100, 25);
    connect(pdf, &QPushButton::clicked, this, Guard::slot(this, &AuditWindow::PdfClick));
    // The owner's settings: who may reach this view and the rest, and how a shift is counted.
    auto* pin = Widgets::button(this, QStringLiteral("PinButton"), QStringLiteral("رمز المالك"), 560, 488, 100, 25);
    connect(pin, &QPushButton::clicked, this, Guard::slot(this, &AuditWindow::PinClick));
    m_blindBox = new QCheckBox(QStringLiteral("عدّ النقد دون رؤية المتوقع"), this);
    m_blindBox->setObjectName(QStringLiteral("BlindBox"));
    m_blindBox->setGeometry(330, 490, 220, 22);
    connect(m_blindBox, &QCheckBox::toggled, this, Guard::slot(this, &AuditWindow::BlindClick));

    auto* close = Widgets::button(this, QStringLiteral("CloseButton"), QStringLiteral("إغلاق"), 8, 488, 75, 25);
    close->setIcon(style()->standardIcon(QStyle::SP_DialogCancelButton));
    close->setShortcut(QKeySequence(Qt::Key_Escape));
    connect(close, &QPushButton::clicked, this, &QWidget::close);
}

namespace {
// The head is copied by hand as SERIAL:HEX: kept left to right inside the Arabic sentence.
QString isolatedLeftToRight(const QString& text)
{
    return QChar(0x2066) + text + QChar(0x2069);
}
} // namespace

void AuditWindow::reload()
{
    // The chain is checked first: the owner reads the list knowing whether to trust it.
    const Audit::Verdict verdict = Audit::verify();
    // The owner reads Arabic here; the row's own account of what broke stays as the tool prints it.
    if (verdict.whole)
        m_chainLabel->setText(QStringLiteral("السجل سليم: عدد الأحداث %1، رأس السلسلة %2")
                                  .arg(verdict.events)
                                  .arg(verdict.last ? isolatedLeftToRight(Audit::headText(*verdict.last)) : QStringLiteral("—")));
    else
        m_chainLabel->setText(QStringLiteral("السجل مكسور عند الحدث رقم %1: %2").arg(verdict.badSerial).arg(verdict.message));
    m_chainLabel->setStyleSheet(verdict.whole ? QString() : QStringLiteral("color: red"));
    {
        const QSignalBlocker quiet(m_blindBox);
        m_blindBox->setChecked(OwnerPin::blindCount());
    }
    m_rows = Audit::rows();
    fill(m_dayBox, QStringLiteral("كل الأيام"), AuditReport::days(m_rows), nullptr);
    fill(m_stationBox, QStringLiteral("كل الأجهزة"), AuditReport::stations(m_rows), nullptr);
    fill(m_eventBox, QStringLiteral("كل الأحداث"), AuditReport::events(m_rows), Audit::caption);
    FilterChange();
}

void AuditWindow::FilterChange()
{
    const AuditReport::Filter filter{m_dayBox->currentData().toString(), m_stationBox->currentData().toString(),
                                     m_eventBox->currentData().toString()};
    m_shown = AuditReport::filtered(m_rows, filter);
    m_grid->setRowCount(int(m_shown.size()));
    for (int r = 0; r < m_shown.size(); ++r) {
        const QStringList cells = AuditReport::cells(m_shown.at(r));
        for (int c = 0; c < cells.size(); ++c)
            m_grid->setItem(r, c, new QTableWidgetItem(cells.at(c)));
    }
}

QString AuditWindow::title() const
{
    QStringList parts{QStringLiteral("سجل الأحداث")};
    for (QComboBox* box : {m_dayBox, m_stationBox, m_eventBox})
        if (box->currentIndex() > 0)
            parts.append(box->currentText());
    return parts.join(QStringLiteral(" — ")) + QStringLiteral(" (%1)").arg(m_chainLabel->text());
}

void AuditWindow::PrintClick()
{
    const Report::Definition definition = AuditReport::definition(title());
    ReportPreview::exec(definition, AuditReport::layOut(definition, m_shown), this);
}

int AuditWindow::writePdf(const QString& fileName)
{
    const Report::Definition definition = AuditReport::definition(title());
    const QList<Report::Page> pages = AuditReport::layOut(definition, m_shown);
    ReportPainter::writePdf(fileName, definition, pages);
    return int(pages.size());
}

void AuditWindow::PdfClick()
{
    const QString fileName = QFileDialog::getSaveFileName(this, QStringLiteral("PDF"), QString(), QStringLiteral("PDF (*.pdf)"));
    if (!fileName.isEmpty())
        writePdf(fileName);
}

void AuditWindow::PinClick()
{
    if (OwnerPinPrompt::change(this))
        reload();
}

void AuditWindow::BlindClick()
{
    const bool blind = m_blindBox->isChecked();
    {
        // Shown as stored until the change is: a failure leaves the box as the setting stands.
        const QSignalBlocker quiet(m_blindBox);
        m_blindBox->setChecked(!blind);
    }
    const std::optional<QString> problem = OwnerPin::setBlindCount(blind);
    {
        const QSignalBlocker quiet(m_blindBox);
        m_blindBox->setChecked(blind);
    }
    if (problem)
        MessageBoxes::showError(*problem);
    reload();
}
