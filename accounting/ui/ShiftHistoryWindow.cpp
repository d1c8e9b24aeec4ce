#include "accounting/ui/ShiftHistoryWindow.h"

#include "accounting/ShiftSlip.h"
#include "platform/AppError.h"
#include "platform/ui/Guard.h"
#include "platform/ui/ReportPreview.h"
#include "platform/ui/Widgets.h"

#include <QHeaderView>
#include <QPushButton>
#include <QStyle>
#include <QTableWidget>
#include <iterator>

namespace {

const QStringList Titles{QStringLiteral("الرقم"),         QStringLiteral("المشغل"),        QStringLiteral("البداية"),
                         QStringLiteral("النهاية"),       QStringLiteral("الجلسات"),       QStringLiteral("الإيراد"),
                         QStringLiteral("النقد المتوقع"), QStringLiteral("النقد المعدود"), QStringLiteral("الفرق")};

} // namespace

ShiftHistoryWindow::ShiftHistoryWindow(QWidget* parent)
    : QWidget(parent, Qt::Window)
{
    setObjectName(QStringLiteral("FormShiftHistory"));
    setWindowTitle(QStringLiteral("سجل الورديات"));
    setLayoutDirection(Qt::RightToLeft);
    resize(760, 400);

    m_grid = new QTableWidget(this);
    m_grid->setObjectName(QStringLiteral("ShiftGrid"));
    m_grid->setGeometry(8, 8, 744, 352);
    m_grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_grid->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_grid->setSelectionMode(QAbstractItemView::SingleSelection);
    m_grid->setColumnCount(int(Titles.size()));
    m_grid->setHorizontalHeaderLabels(Titles);
    m_grid->verticalHeader()->hide();
    m_grid->horizontalHeader()->setStretchLastSection(true);
    // Every column within the window, the difference last.
    const int widths[] = {35, 100, 120, 120, 50, 70, 75, 75};
    for (int column = 0; column < int(std::size(widths)); ++column)
        m_grid->setColumnWidth(column, widths[column]);

    auto* slip = Widgets::button(this, QStringLiteral("SlipButton"), QStringLiteral("طباعة الإيصال"), 652, 368, 100, 25);
    slip->setIcon(style()->standardIcon(QStyle::SP_FileIcon));
    connect(slip, &QPushButton::clicked, this, Guard::slot(this, &ShiftHistoryWindow::SlipClick));
    auto* close = Widgets::button(this, QStringLiteral("CloseButton"), QStringLiteral("إغلاق"), 8, 368, 75, 25);
    close->setIcon(style()->standardIcon(QStyle::SP_DialogCancelButton));
    close->setShortcut(QKeySequence(Qt::Key_Escape));
    connect(close, &QPushButton::clicked, this, &QWidget::close);
}

void ShiftHistoryWindow::reload()
{
    m_shown.clear();
    for (const Shifts::Shift& shift : Shifts::history())
        m_shown.append(Shifts::closing(shift));
    m_grid->setRowCount(int(m_shown.size()));
    for (int r = 0; r < m_shown.size(); ++r) {
        const Shifts::Closing& c = m_shown.at(r);
        const bool closed = c.shift.counted.has_value();
        const QStringList cells{QString::number(c.shift.id),
                                c.shift.operatorName,
                                ShiftSlip::localTime(c.shift.opened),
                                c.shift.closed ? ShiftSlip::localTime(*c.shift.closed) : QStringLiteral("مفتوحة"),
                                QString::number(c.tally.sessions),
                                ShiftSlip::money(c.tally.takings),
                                ShiftSlip::money(c.expected),
                                closed ? ShiftSlip::money(*c.shift.counted) : QString(),
                                closed ? ShiftSlip::money(c.difference()) : QString()};
        for (int col = 0; col < cells.size(); ++col) {
            auto* item = new QTableWidgetItem(cells.at(col));
            if (col == cells.size() - 1 && closed && cells.at(col) != ShiftSlip::money(0))
                item->setForeground(Qt::red);
            m_grid->setItem(r, col, item);
        }
    }
    if (!m_shown.isEmpty())
        m_grid->selectRow(0);
}

void ShiftHistoryWindow::SlipClick()
{
    const int row = m_grid->currentRow();
    if (row < 0 || row >= m_shown.size())
        throw AppError(QStringLiteral("اختر وردية من القائمة"));
    const Report::Definition definition = ShiftSlip::definition();
    ReportPreview::exec(definition, ShiftSlip::layOut(definition, m_shown.at(row)), this);
}
