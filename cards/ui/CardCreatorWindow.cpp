#include "cards/ui/CardCreatorWindow.h"
#include "cards/ui/CardReportForm.h"

#include "cards/CardBatch.h"
#include "cards/CardTable.h"
#include "install/Audit.h"
#include "install/InstallPaths.h"
#include "install/SettingFiles.h"
#include "install/Tables.h"
#include "install/ui/OwnerPinPrompt.h"
#include "platform/AppError.h"
#include "platform/Regional.h"
#include "platform/store/TableStore.h"
#include "platform/ui/Guard.h"
#include "platform/ui/MessageBoxes.h"
#include "platform/ui/TableGrid.h"
#include "platform/ui/Widgets.h"

#include <exception>

#include <QApplication>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFrame>
#include <QGroupBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QStyle>
#include <QTableView>

namespace {

// A component with a caption or text, placed at its pixel geometry.
template <typename W>
W* placed(QWidget* parent, const QString& name, const QString& text, QRect geometry)
{
    auto* w = new W(text, parent);
    w->setObjectName(name);
    w->setGeometry(geometry);
    return w;
}

// The face that stands in for the window's own is wider, and a right-to-left caption that runs
// under its panel's edge loses its first letter; such a caption moves left until it fits, with
// the few pixels to spare that the window's own face leaves.
QLabel* caption(QWidget* parent, const QString& name, const QString& text, int left, int top)
{
    QLabel* label = Widgets::label(parent, name, text, left, top);
    constexpr int margin = 3;
    const int room = parent->contentsRect().right() + 1 - margin - label->width();
    if (label->x() > room)
        label->move(std::max(0, room), top);
    return label;
}

} // namespace

CardCreatorWindow::CardCreatorWindow(QWidget* parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("Form2"));
    Widgets::makeFixedDialogWindow(this, QStringLiteral("منشئ البطاقات"), 787, 542);
    setWindowFlag(Qt::WindowStaysOnTopHint);
    setLayoutDirection(Qt::RightToLeft);
    setFont(QFont(QStringLiteral("MS Sans Serif"), 8));

    // No table until the operator chooses one.
    m_cards = new TableStore(this);
    m_cards->setObjectName(QStringLiteral("Table1"));
    m_cards->setAfterPost([this] { Table1AfterPost(); });

    // A frame's caption sits on its top line, so the buttons placed inside the frame clear it.
    setStyleSheet(QStringLiteral("QGroupBox { border: 1px solid palette(mid); border-radius: 2px; margin-top: 6px; }"
                                 "QGroupBox::title { subcontrol-origin: margin; subcontrol-position: top left;"
                                 " padding: 0 2px; left: 8px; }"));

    buildListPanel();
    buildCardPanel();
    buildTariffGroup();

    auto* temp = Widgets::button(this, QStringLiteral("Button1"), QStringLiteral("Button1"), 632, 398, 75, 25);
    auto* main = Widgets::button(this, QStringLiteral("Button2"), QStringLiteral("Button2"), 631, 454, 75, 25);
    connect(temp, &QPushButton::clicked, this, Guard::slot(this, &CardCreatorWindow::Button1Click));
    connect(main, &QPushButton::clicked, this, Guard::slot(this, &CardCreatorWindow::Button2Click));
    auto* close = Widgets::button(this, QStringLiteral("BitBtn4"), QStringLiteral("إغلاق"), 696, 509, 75, 25);
    close->setIcon(style()->standardIcon(QStyle::SP_DialogCloseButton));
    connect(close, &QPushButton::clicked, this, Guard::slot(this, &CardCreatorWindow::BitBtn4Click));

    Widgets::centreOnScreen(this);
}

void CardCreatorWindow::buildListPanel()
{
    QFrame* panel3 = Widgets::panel(this, QStringLiteral("Panel3"), {2, 0, 564, 540});

    m_grid = new QTableView(panel3);
    m_grid->setObjectName(QStringLiteral("DBGrid1"));
    m_grid->setGeometry(2, 6, 558, 487);
    // Cards are only ever created; the list offers no way to change or delete one.
    m_grid->verticalHeader()->hide();
    // One line a card.
    m_grid->setWordWrap(false);
    m_grid->setFont(QFont(QStringLiteral("MS Sans Serif"), 8));
    // Numbers stand at the end of their cells, texts at the start; the card number is set like a
    // number on purpose.
    // The stated widths suit the window's own face; in a wider one the card number column still
    // shows a whole number of a five-digit serial, because a cut number is of no use to anyone.
    const int numWidth = std::max(93, m_grid->fontMetrics().horizontalAdvance(QStringLiteral("99999WW9999W3G")) + 8);
    const QList<GridColumn> columns{
        {Tables::CardField::Auto, QStringLiteral("تسلسل"), 38, 0, Qt::AlignRight, {}},
        {Tables::CardField::Number, QStringLiteral("رقم البطاقة"), numWidth, 0, Qt::AlignRight, QColor(240, 244, 244)},
        {Tables::CardField::Minutes, QStringLiteral("فئة البطاقة/د"), 0, 6, Qt::AlignRight, {}},
        {Tables::CardField::State, QStringLiteral("وضع البطاقة"), 63, 0, Qt::AlignLeft, {}},
        {Tables::CardField::Remaining, QStringLiteral("الزمن المتبقي "), 0, 6, Qt::AlignRight, QColor(244, 240, 244)},
        {Tables::CardField::Cost, QStringLiteral("الثمن"), 45, 0, Qt::AlignRight, {}},
        {Tables::CardField::FirstUse, QStringLiteral("تاريخ الإستخدام"), 74, 0, Qt::AlignLeft, {}},
        {Tables::CardField::Kind, QStringLiteral("النوع"), 0, 10, Qt::AlignLeft, {}},
    };
    // The grid shows the table's current row, and a row picked in the grid becomes current.
    m_gridModel = bindGrid(m_grid, m_cards, columns);
    m_gridModel->setObjectName(QStringLiteral("DataSource1"));

    caption(panel3, QStringLiteral("Label4"), QStringLiteral("رقم البطاقة"), 506, 511);
    m_lookupBox = placed<QLineEdit>(panel3, QStringLiteral("Edit4"), QString(), {381, 506, 121, 21});
    connect(m_lookupBox, &QLineEdit::textChanged, this, Guard::slot(this, &CardCreatorWindow::Edit4Change));

    auto* print = Widgets::button(panel3, QStringLiteral("BitBtn3"), QStringLiteral("طباعة"), 9, 503, 75, 25);
    connect(print, &QPushButton::clicked, this, Guard::slot(this, &CardCreatorWindow::BitBtn3Click));
}

void CardCreatorWindow::buildCardPanel()
{
    QFrame* panel1 = Widgets::panel(this, QStringLiteral("Panel1"), {569, 0, 213, 256});

    caption(panel1, QStringLiteral("Label1"), QStringLiteral("عدد البطاقات الجديدة"), 113, 9);
    m_countBox = placed<QLineEdit>(panel1, QStringLiteral("Edit1"), Cards::defaultCount(), {56, 5, 48, 21});
    m_countBox->installEventFilter(this);

    // The frames carry only the captions; each set of buttons is exclusive because its buttons
    // share a parent, so the frames are created first and the buttons stand on top of them.
    placed<QGroupBox>(panel1, QStringLiteral("RadioGroup1"), QStringLiteral("فئة البطاقة"), {5, 27, 202, 115});
    const QString categoryCaptions[4] = {QStringLiteral("ربع ساعة"), QStringLiteral("نصف ساعة"), QStringLiteral("ساعة"),
                                         QStringLiteral("ساعتان")};
    const int categoryTops[4] = {44, 68, 93, 118};
    for (int i = 0; i < 4; ++i)
        m_categoryButtons[i] = placed<QRadioButton>(panel1, QStringLiteral("RadioButton%1").arg(i + 1), categoryCaptions[i],
                                                    {68, categoryTops[i], 113, 15});
    m_categoryButtons[0]->setChecked(true);

    QFrame* panel2 = Widgets::panel(panel1, QStringLiteral("Panel2"), {5, 143, 202, 81}, false);
    placed<QGroupBox>(panel2, QStringLiteral("RadioGroup2"), QStringLiteral("نوع البطاقة"), {0, 3, 202, 75});
    m_kindButtons[0] = placed<QRadioButton>(panel2, QStringLiteral("RadioButton5"), Cards::kinds()[0].word, {74, 26, 102, 17});
    m_kindButtons[1] = placed<QRadioButton>(panel2, QStringLiteral("RadioButton6"), Cards::kinds()[1].word, {74, 49, 102, 17});
    m_kindButtons[0]->setChecked(true);

    m_generateButton = Widgets::button(panel1, QStringLiteral("BitBtn1"), Cards::generateCaption(), 6, 223, 201, 26);
    connect(m_generateButton, &QPushButton::clicked, this, Guard::slot(this, &CardCreatorWindow::BitBtn1Click));
}

void CardCreatorWindow::buildTariffGroup()
{
    auto* group = placed<QGroupBox>(this, QStringLiteral("GroupBox1"), QStringLiteral("التعرفة لكل دقيقة"), {570, 256, 212, 82});
    caption(group, QStringLiteral("Label2"), Cards::kinds()[0].word, 163, 21);
    m_gamesTariffBox = placed<QLineEdit>(group, QStringLiteral("Edit2"), QStringLiteral("0.5"), {92, 18, 59, 21});
    caption(group, QStringLiteral("Label3"), Cards::kinds()[1].word, 159, 49);
    m_internetTariffBox = placed<QLineEdit>(group, QStringLiteral("Edit3"), QStringLiteral("0.5"), {92, 47, 59, 21});
    auto* save = Widgets::button(group, QStringLiteral("BitBtn2"), QStringLiteral("تغيير"), 5, 49, 75, 25);
    save->setIcon(style()->standardIcon(QStyle::SP_DialogSaveButton));
    connect(save, &QPushButton::clicked, this, Guard::slot(this, &CardCreatorWindow::BitBtn2Click));
}

const Cards::Category& CardCreatorWindow::selectedCategory() const
{
    for (int i = 0; i < 4; ++i) {
        if (m_categoryButtons[i]->isChecked())
            return Cards::Categories[i];
    }
    return Cards::Categories[0];
}

const Cards::Kind& CardCreatorWindow::selectedKind() const
{
    return Cards::kinds()[m_kindButtons[1]->isChecked() ? 1 : 0];
}

QLineEdit* CardCreatorWindow::selectedTariffBox() const
{
    return m_kindButtons[1]->isChecked() ? m_internetTariffBox : m_gamesTariffBox;
}

bool CardCreatorWindow::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_countBox) {
        Guard::run([this, event] {
            if (event->type() == QEvent::KeyPress) {
                const auto* key = static_cast<QKeyEvent*>(event);
                // Only keys that type a character count; Tab moves the focus and Delete edits,
                // neither types anything (Backspace, Enter and Escape do).
                if (!key->text().isEmpty() && key->key() != Qt::Key_Tab && key->key() != Qt::Key_Backtab
                    && key->key() != Qt::Key_Delete)
                    Edit1KeyPress(key->text().front());
            } else if (event->type() == QEvent::KeyRelease) {
                if (!static_cast<QKeyEvent*>(event)->isAutoRepeat())
                    Edit1KeyUp();
            }
        });
    }
    return QWidget::eventFilter(watched, event);
}

void CardCreatorWindow::Edit1KeyPress(QChar key)
{
    m_digitTyped = key >= QLatin1Char('0') && key <= QLatin1Char('9');
    if (!m_digitTyped)
        QApplication::beep();
}

void CardCreatorWindow::Edit1KeyUp()
{
    if (!m_digitTyped)
        m_countBox->clear();
}

void CardCreatorWindow::BitBtn1Click()
{
    if (!SettingFiles::gamesTariffAccepted(m_gamesTariffBox->text())) {
        MessageBoxes::showMessage(SettingFiles::entryErrorMessage());
    } else if (const int count = Cards::acceptedCount(m_countBox->text()); count == 0) {
        MessageBoxes::showMessage(Cards::countErrorMessage());
        m_countBox->setText(Cards::defaultCount());
    } else {
        if (!OwnerPinPrompt::ask(this, QStringLiteral("a card batch")))
            return;
        m_cards->MoveLast();
        // The window stays usable during a run: what the operator changes meanwhile applies to
        // the cards that follow. It is served and painted once a screen frame, not once a card:
        // painting every card would cost several times the card's own commit.
        const qreal rate = screen() ? screen()->refreshRate() : 0;
        const qint64 frameNs = qint64(1e9 / (rate > 1 ? rate : 60));
        QElapsedTimer sinceServed;
        QString shown;
        auto serve = [&] {
            m_gridModel->announceAdded();
            if (!shown.isEmpty())
                m_generateButton->setText(shown);
            QCoreApplication::processEvents();
            sinceServed.start();
        };
        std::exception_ptr failure;
        QString stoppedBy;
        Cards::BatchTally tally;
        m_gridModel->holdAdded(true);
        try {
            for (int i = 0; i < count; ++i) {
                if (i == 0 || sinceServed.nsecsElapsed() >= frameNs)
                    serve();
                const Cards::CardOrder order{selectedCategory(), selectedKind(), selectedTariffBox()->text()};
                Cards::writeCard(*m_cards, m_random, order, [&shown](const QString& number) { shown = number; });
                tally.add(*m_cards);
            }
        } catch (const std::exception& error) {
            failure = std::current_exception();
            const auto* appError = dynamic_cast<const AppError*>(&error);
            stoppedBy = appError ? appError->text() : QString::fromLocal8Bit(error.what());
        } catch (...) {
            failure = std::current_exception();
        }
        m_gridModel->holdAdded(false);
        // The last frame: the grid and the caption show the last card stored.
        serve();
        // The cards made are in the table, each committed; their row comes before any word to
        // the operator, the batch's own error included.
        if (tally.count > 0) {
            if (const std::optional<QString> problem = Audit::record(tally.event(stoppedBy)))
                MessageBoxes::showError(*problem);
        }
        if (failure)
            std::rethrow_exception(failure);
    }
    m_generateButton->setText(Cards::generateCaption());
}

void CardCreatorWindow::BitBtn2Click()
{
    if (!OwnerPinPrompt::ask(this, QStringLiteral("the card tariffs")))
        return;
    // On a failure the file keeps the tariffs it held and the error is shown, not success. A
    // change that the audit record missed still stands; the operator is told both.
    const SettingFiles::Answer answer = SettingFiles::changeTariffsRecorded(
        m_tariffBuffer, {m_gamesTariffBox->text(), m_internetTariffBox->text()}, InstallPaths::CardTariffFile,
        SettingFiles::saveCardTariffs, SettingFiles::InternetTariff::AsTyped, Audit::Events::CardTariffChange);
    if (answer.auditProblem)
        MessageBoxes::showError(*answer.auditProblem);
    MessageBoxes::showMessage(answer.message);
}

void CardCreatorWindow::Button1Click()
{
    Cards::useTempTable(*m_cards);
}

void CardCreatorWindow::Button2Click()
{
    Cards::useMainTable(*m_cards);
}

void CardCreatorWindow::Table1AfterPost()
{
    m_cards->FlushTable();
}

void CardCreatorWindow::Edit4Change()
{
    // A serial that does not exist leaves the list where it is; a text that cannot be a serial,
    // or no table at all, is no error worth a box while the operator is still typing.
    try {
        m_cards->FindByKey(m_lookupBox->text());
    } catch (const std::exception&) {
    }
}

void CardCreatorWindow::BitBtn3Click()
{
    // Always the main card table, whichever table the grid shows.
    printCardReport(this);
}

void CardCreatorWindow::BitBtn4Click()
{
    close();
}
