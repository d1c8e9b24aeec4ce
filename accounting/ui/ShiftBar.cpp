#include "accounting/ui/ShiftBar.h"

#include "accounting/ShiftSlip.h"
#include "accounting/Shifts.h"
#include "accounting/ui/ShiftDialog.h"
#include "accounting/ui/ShiftHistoryWindow.h"
#include "install/ui/OwnerPinPrompt.h"
#include "platform/ui/Guard.h"
#include "platform/ui/MessageBoxes.h"
#include "platform/ui/ReportPreview.h"
#include "platform/ui/Widgets.h"

#include <QLabel>
#include <QPushButton>

ShiftBar::ShiftBar(QWidget* parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("ShiftBar"));
    setLayoutDirection(Qt::RightToLeft);
    resize(485, 25);
    m_caption = new QLabel(this);
    m_caption->setObjectName(QStringLiteral("ShiftLabel"));
    // An operator's name is shown as typed, never taken as markup.
    m_caption->setTextFormat(Qt::PlainText);
    m_caption->setGeometry(340, 0, 145, 25);
    m_open = Widgets::button(this, QStringLiteral("ShiftOpenButton"), QStringLiteral("فتح وردية"), 255, 0, 80, 25);
    m_close = Widgets::button(this, QStringLiteral("ShiftCloseButton"), QStringLiteral("إغلاق وردية"), 170, 0, 80, 25);
    m_handOver = Widgets::button(this, QStringLiteral("HandOverButton"), QStringLiteral("تسليم وردية"), 85, 0, 80, 25);
    auto* history = Widgets::button(this, QStringLiteral("ShiftHistoryButton"), QStringLiteral("سجل الورديات"), 0, 0, 80, 25);
    connect(m_open, &QPushButton::clicked, this, Guard::slot(this, &ShiftBar::OpenClick));
    connect(m_close, &QPushButton::clicked, this, Guard::slot(this, &ShiftBar::CloseClick));
    connect(m_handOver, &QPushButton::clicked, this, Guard::slot(this, &ShiftBar::HandOverClick));
    connect(history, &QPushButton::clicked, this, Guard::slot(this, &ShiftBar::HistoryClick));
    m_caption->setText(QStringLiteral("لا وردية مفتوحة"));
    m_close->setEnabled(false);
    m_handOver->setEnabled(false);
}

void ShiftBar::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    Guard::run([this] { refresh(); });
}

void ShiftBar::refresh()
{
    const std::optional<Shifts::Shift> shift = Shifts::current();
    m_caption->setText(shift ? QStringLiteral("الوردية: %1").arg(shift->operatorName) : QStringLiteral("لا وردية مفتوحة"));
    m_caption->setToolTip(shift ? QStringLiteral("منذ %1").arg(ShiftSlip::localTime(shift->opened)) : QString());
    m_open->setEnabled(!shift);
    m_close->setEnabled(shift.has_value());
    m_handOver->setEnabled(shift.has_value());
}

void ShiftBar::run(int mode)
{
    ShiftDialog dialog(ShiftDialog::Mode(mode), window());
    const bool done = dialog.exec() == QDialog::Accepted;
    refresh();
    if (!done)
        return;
    // The shift stands whether or not the audit record took it; the operator is told.
    for (const std::optional<QString>& problem : {dialog.closed() ? dialog.closed()->auditProblem : std::nullopt,
                                                  dialog.opened() ? dialog.opened()->auditProblem : std::nullopt})
        if (problem)
            MessageBoxes::showError(*problem);
    if (dialog.closed()) {
        const Report::Definition definition = ShiftSlip::definition();
        ReportPreview::exec(definition, ShiftSlip::layOut(definition, dialog.closed()->closing), window());
    }
}

void ShiftBar::OpenClick()
{
    run(int(ShiftDialog::Mode::Open));
}

void ShiftBar::CloseClick()
{
    run(int(ShiftDialog::Mode::Close));
}

void ShiftBar::HandOverClick()
{
    run(int(ShiftDialog::Mode::HandOver));
}

void ShiftBar::HistoryClick()
{
    if (!OwnerPinPrompt::ask(window(), QStringLiteral("the shift history")))
        return;
    if (!m_history)
        m_history = new ShiftHistoryWindow(window());
    m_history->show();
    m_history->raise();
    m_history->activateWindow();
    m_history->reload();
}
