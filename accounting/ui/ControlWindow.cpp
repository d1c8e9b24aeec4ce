#include "accounting/ui/ControlWindow.h"

#include "accounting/ui/AuditWindow.h"
#include "accounting/ui/TakingsWindow.h"
#include "install/Audit.h"
#include "install/InstallPaths.h"
#include "install/SettingFiles.h"
#include "install/Tables.h"
#include "install/ui/OwnerPinPrompt.h"
#include "platform/ui/Guard.h"
#include "platform/ui/MessageBoxes.h"
#include "platform/ui/TableGrid.h"
#include "platform/ui/Widgets.h"

#include <QCloseEvent>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSplitter>
#include <QStyle>
#include <QTableView>

namespace {

QTableView* makeGrid(QWidget* parent, const QString& name)
{
    auto* grid = new QTableView(parent);
    grid->setObjectName(name);
    grid->setMinimumHeight(50);
    return grid;
}

const QList<GridColumn> DayColumns = {
    {Tables::DayField::Date, QStringLiteral("التاريخ"), 108, 15, Qt::AlignLeft, QColor(0xFF, 0xF4, 0xF4)},
    {Tables::DayField::Sum, QStringLiteral("المجموع"), 102, 15, Qt::AlignRight, QColor(0xD8, 0xF3, 0xFC)},
};

const QList<GridColumn> EntryColumns = {
    {Tables::EntryField::Start, QStringLiteral("بداية التشغيل"), 67, 15, Qt::AlignLeft, QColor(0xF7, 0xF7, 0xFB)},
    {Tables::EntryField::Minutes, QStringLiteral("مدة التشغيل"), 61, 6, Qt::AlignRight, QColor(0xFF, 0xFF, 0xE1)},
    {Tables::EntryField::Kind, QStringLiteral("النوع"), 47, 15, Qt::AlignLeft, QColor(0xDD, 0xFF, 0xDD)},
    {Tables::EntryField::Cost, QStringLiteral("المبلغ"), 51, 15, Qt::AlignRight, QColor(0xF1, 0xEB, 0xFA)},
    {Tables::EntryField::Station, QStringLiteral("اسم الكومبيوتر"), 146, 35, Qt::AlignLeft, QColor()},
};

} // namespace

ControlWindow::ControlWindow(Ledger& ledger, QWidget* parent)
    : QWidget(parent)
    , m_ledger(ledger)
{
    setObjectName(QStringLiteral("FormControl"));
    Widgets::makeFixedDialogWindow(this, QStringLiteral("التحكم المركزي"), 425, 451);
    setWindowFlag(Qt::WindowStaysOnTopHint);
    setLayoutDirection(Qt::RightToLeft);
    setFont(QFont(QStringLiteral("MS Sans Serif"), 8));

    m_splitter = new QSplitter(Qt::Vertical, this);
    m_splitter->setObjectName(QStringLiteral("Splitter1"));
    m_splitter->setGeometry(8, 8, 409, 345);
    m_splitter->setChildrenCollapsible(false);
    m_daysGrid = makeGrid(m_splitter, QStringLiteral("DBGrid1"));
    m_entriesGrid = makeGrid(m_splitter, QStringLiteral("DBGrid2"));
    m_splitter->addWidget(m_daysGrid);
    m_splitter->addWidget(m_entriesGrid);
    m_splitter->setSizes({80, 345 - 80});
    bindGrid(m_daysGrid, &m_ledger.days(), DayColumns);
    bindGrid(m_entriesGrid, &m_ledger.entries(), EntryColumns);

    auto* recompute = Widgets::button(this, QStringLiteral("BitBtn12"), QStringLiteral("إحتساب "), 317, 358, 100, 25);
    recompute->setIcon(style()->standardIcon(QStyle::SP_BrowserReload));
    connect(recompute, &QPushButton::clicked, this, Guard::slot(this, &ControlWindow::BitBtn12Click));

    // In the free row between "إحتساب " and "إغلاق", against "إحتساب ", leaving room beside it.
    auto* takings = Widgets::button(this, QStringLiteral("BitBtnTakings"), QStringLiteral("تقرير الإيراد"), 212, 358, 100, 25);
    takings->setIcon(style()->standardIcon(QStyle::SP_FileDialogDetailedView));
    connect(takings, &QPushButton::clicked, this, Guard::slot(this, &ControlWindow::BitBtnTakingsClick));

    auto* group = new QGroupBox(QStringLiteral("التعرفة لكل دقيقة"), this);
    group->setObjectName(QStringLiteral("GroupBox1"));
    group->setGeometry(8, 388, 409, 55);
    Widgets::label(group, QStringLiteral("Label1"), QStringLiteral("ألعاب"), 360, 25);
    m_gamesTariffBox = new QLineEdit(QStringLiteral("0.5"), group);
    m_gamesTariffBox->setObjectName(QStringLiteral("Edit2"));
    m_gamesTariffBox->setGeometry(295, 21, 60, 21);
    Widgets::label(group, QStringLiteral("Label2"), QStringLiteral("أنترنيت"), 240, 25);
    m_internetTariffBox = new QLineEdit(QStringLiteral("0.5"), group);
    m_internetTariffBox->setObjectName(QStringLiteral("Edit3"));
    m_internetTariffBox->setGeometry(170, 21, 60, 21);
    auto* save = Widgets::button(group, QStringLiteral("BitBtn2"), QStringLiteral("تغيير"), 90, 19, 70, 25);
    save->setIcon(style()->standardIcon(QStyle::SP_DialogSaveButton));
    connect(save, &QPushButton::clicked, this, Guard::slot(this, &ControlWindow::BitBtn2Click));

    // Beside the close button, in the free space left of the ledger's own buttons.
    auto* audit = Widgets::button(this, QStringLiteral("AuditButton"), QStringLiteral("سجل الأحداث"), 88, 358, 95, 25);
    audit->setIcon(style()->standardIcon(QStyle::SP_FileDialogDetailedView));
    connect(audit, &QPushButton::clicked, this, Guard::slot(this, &ControlWindow::AuditButtonClick));

    auto* close = Widgets::button(this, QStringLiteral("BitBtn14"), QStringLiteral("إغلاق"), 8, 358, 75, 25);
    close->setIcon(style()->standardIcon(QStyle::SP_DialogCancelButton));
    close->setShortcut(QKeySequence(Qt::Key_Escape));
    connect(close, &QPushButton::clicked, this, Guard::slot(this, &ControlWindow::BitBtn14Click));
}

void ControlWindow::loadTariffs()
{
    const SettingFiles::Tariffs tariffs = SettingFiles::loadTariffs(m_tariffBuffer);
    m_gamesTariffBox->setText(tariffs.games);
    m_internetTariffBox->setText(tariffs.internet);
}

void ControlWindow::BitBtn2Click()
{
    if (!OwnerPinPrompt::ask(this, QStringLiteral("the tariffs")))
        return;
    // On a failure the file keeps the tariffs it held and the error is shown, not success. A
    // change that the audit record missed still stands; the operator is told both.
    const SettingFiles::Answer answer = SettingFiles::changeTariffsRecorded(
        m_tariffBuffer, {m_gamesTariffBox->text(), m_internetTariffBox->text()}, InstallPaths::TariffFile,
        SettingFiles::saveTariffs, SettingFiles::InternetTariff::MustPrice, Audit::Events::TariffChange);
    if (answer.auditProblem)
        MessageBoxes::showError(*answer.auditProblem);
    MessageBoxes::showMessage(answer.message);
}

void ControlWindow::AuditButtonClick()
{
    if (!OwnerPinPrompt::ask(this, QStringLiteral("the owner's view")))
        return;
    if (!m_auditWindow)
        m_auditWindow = new AuditWindow(this);
    m_auditWindow->show();
    m_auditWindow->raise();
    m_auditWindow->activateWindow();
    m_auditWindow->reload();
}

void ControlWindow::BitBtn14Click()
{
    close();
}

void ControlWindow::closeEvent(QCloseEvent* event)
{
    // A tariff file that cannot be read keeps the window open with everything as it was.
    if (Guard::run([this] { FormClose(); }))
        event->accept();
    else
        event->ignore();
}

void ControlWindow::FormClose()
{
    // Tariffs typed but not saved are dropped here; until now sessions were priced with them.
    loadTariffs();
    m_ledger.close();
}

void ControlWindow::BitBtn12Click()
{
    if (!OwnerPinPrompt::ask(this, QStringLiteral("a recompute")))
        return;
    // The totals are committed before the row that records them; nothing else is said.
    if (const std::optional<QString> problem = Audit::record(Ledger::recomputeEvent(m_ledger.recompute())))
        MessageBoxes::showError(*problem);
}

void ControlWindow::BitBtnTakingsClick()
{
    // A window of its own above this one, which stays on top of the others.
    if (!m_takings)
        m_takings = new TakingsWindow(this);
    m_takings->openWindow();
}

void ControlWindow::openWindow()
{
    if (!isVisible() && m_mainForm)
        Widgets::centreOn(this, m_mainForm);
    show();
    raise();
    activateWindow();
    m_ledger.open();
}

QString ControlWindow::gamesTariffText() const
{
    return m_gamesTariffBox->text();
}

QString ControlWindow::internetTariffText() const
{
    return m_internetTariffBox->text();
}
