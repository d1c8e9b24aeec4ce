#include "cards/ui/TForm2.h"

#include "app/Settings.h"
#include "cards/CardGenerator.h"
#include "platform/Regional.h"
#include "platform/ui/MessageBoxes.h"
#include "platform/ui/Widgets.h"

#include <QApplication>
#include <QFrame>
#include <QGroupBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QTableView>

namespace {

QFrame* panel(QWidget* parent, const QString& name, QRect geometry, bool bordered = true)
{
    auto* p = new QFrame(parent);
    p->setObjectName(name);
    if (bordered) {
        p->setFrameShape(QFrame::Panel);
        p->setFrameShadow(QFrame::Raised);
    }
    p->setGeometry(geometry);
    return p;
}

// A component with a caption or text, placed at its pixel geometry.
template <typename W> W* placed(QWidget* parent, const QString& name, const QString& text, QRect geometry)
{
    auto* w = new W(text, parent);
    w->setObjectName(name);
    w->setGeometry(geometry);
    return w;
}

} // namespace

TForm2::TForm2(QWidget* parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("Form2"));
    Widgets::makeFixedDialogWindow(this, QStringLiteral("منشئ البطاقات"), 787, 542);
    setWindowFlag(Qt::WindowStaysOnTopHint);
    setLayoutDirection(Qt::RightToLeft);
    setFont(QFont(QStringLiteral("MS Sans Serif"), 8));

    buildListPanel();
    buildCardPanel();
    buildTariffGroup();

    Widgets::button(this, QStringLiteral("Button1"), QStringLiteral("Button1"), 632, 398, 75, 25);
    Widgets::button(this, QStringLiteral("Button2"), QStringLiteral("Button2"), 631, 454, 75, 25);
    auto* close = Widgets::button(this, QStringLiteral("BitBtn4"), QStringLiteral("إغلاق"), 696, 509, 75, 25);
    close->setIcon(style()->standardIcon(QStyle::SP_DialogCloseButton));
    connect(close, &QPushButton::clicked, this, &TForm2::BitBtn4Click);

    Widgets::centreOnScreen(this);
}

void TForm2::buildListPanel()
{
    QFrame* panel3 = panel(this, QStringLiteral("Panel3"), {2, 0, 564, 540});

    m_grid = new QTableView(panel3);
    m_grid->setObjectName(QStringLiteral("DBGrid1"));
    m_grid->setGeometry(2, 6, 558, 487);
    // Cards are only ever created; the list offers no way to change or delete one.
    m_grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_grid->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_grid->setSelectionMode(QAbstractItemView::SingleSelection);
    m_grid->verticalHeader()->hide();

    Widgets::label(panel3, QStringLiteral("Label4"), QStringLiteral("رقم البطاقة"), 506, 511);
    m_edit4 = placed<QLineEdit>(panel3, QStringLiteral("Edit4"), QString(), {381, 506, 121, 21});
    connect(m_edit4, &QLineEdit::textChanged, this, &TForm2::Edit4Change);

    auto* print = Widgets::button(panel3, QStringLiteral("BitBtn3"), QStringLiteral("طباعة"), 9, 503, 75, 25);
    connect(print, &QPushButton::clicked, this, &TForm2::BitBtn3Click);
}

void TForm2::buildCardPanel()
{
    QFrame* panel1 = panel(this, QStringLiteral("Panel1"), {569, 0, 213, 256});

    Widgets::label(panel1, QStringLiteral("Label1"), QStringLiteral("عدد البطاقات الجديدة"), 113, 9);
    m_edit1 = placed<QLineEdit>(panel1, QStringLiteral("Edit1"), Cards::defaultCount(), {56, 5, 48, 21});
    m_edit1->installEventFilter(this);

    // The frames carry only the captions; each set of buttons is exclusive because its buttons
    // share a parent, so the frames are created first and the buttons stand on top of them.
    placed<QGroupBox>(panel1, QStringLiteral("RadioGroup1"), QStringLiteral("فئة البطاقة"), {5, 27, 202, 115});
    const QString categoryCaptions[4] = {QStringLiteral("ربع ساعة"), QStringLiteral("نصف ساعة"), QStringLiteral("ساعة"),
                                         QStringLiteral("ساعتان")};
    const int categoryTops[4] = {44, 68, 93, 118};
    for (int i = 0; i < 4; ++i)
        m_categoryButtons[i] = placed<QRadioButton>(panel1, QStringLiteral("RadioButton%1").arg(i + 1), categoryCaptions[i], {68, categoryTops[i], 113, 15});
    m_categoryButtons[0]->setChecked(true);

    QFrame* panel2 = panel(panel1, QStringLiteral("Panel2"), {5, 143, 202, 81}, false);
    placed<QGroupBox>(panel2, QStringLiteral("RadioGroup2"), QStringLiteral("نوع البطاقة"), {0, 3, 202, 75});
    m_kindButtons[0] = placed<QRadioButton>(panel2, QStringLiteral("RadioButton5"), Cards::kinds()[0].word, {74, 26, 102, 17});
    m_kindButtons[1] = placed<QRadioButton>(panel2, QStringLiteral("RadioButton6"), Cards::kinds()[1].word, {74, 49, 102, 17});
    m_kindButtons[0]->setChecked(true);

    m_bitBtn1 = Widgets::button(panel1, QStringLiteral("BitBtn1"), Cards::generateCaption(), 6, 223, 201, 26);
    connect(m_bitBtn1, &QPushButton::clicked, this, &TForm2::BitBtn1Click);
}

void TForm2::buildTariffGroup()
{
    auto* group = placed<QGroupBox>(this, QStringLiteral("GroupBox1"), QStringLiteral("التعرفة لكل دقيقة"), {570, 256, 212, 82});
    Widgets::label(group, QStringLiteral("Label2"), Cards::kinds()[0].word, 163, 21);
    m_edit2 = placed<QLineEdit>(group, QStringLiteral("Edit2"), QStringLiteral("0.5"), {92, 18, 59, 21});
    Widgets::label(group, QStringLiteral("Label3"), Cards::kinds()[1].word, 159, 49);
    m_edit3 = placed<QLineEdit>(group, QStringLiteral("Edit3"), QStringLiteral("0.5"), {92, 47, 59, 21});
    auto* save = Widgets::button(group, QStringLiteral("BitBtn2"), QStringLiteral("تغيير"), 5, 49, 75, 25);
    save->setIcon(style()->standardIcon(QStyle::SP_DialogSaveButton));
    connect(save, &QPushButton::clicked, this, &TForm2::BitBtn2Click);
}

const Cards::Category& TForm2::selectedCategory() const
{
    for (int i = 0; i < 4; ++i) {
        if (m_categoryButtons[i]->isChecked())
            return Cards::Categories[i];
    }
    return Cards::Categories[0];
}

const Cards::Kind& TForm2::selectedKind() const
{
    return Cards::kinds()[m_kindButtons[1]->isChecked() ? 1 : 0];
}

QLineEdit* TForm2::selectedTariffBox() const
{
    return m_kindButtons[1]->isChecked() ? m_edit3 : m_edit2;
}

bool TForm2::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_edit1) {
        if (event->type() == QEvent::KeyPress) {
            const auto* key = static_cast<QKeyEvent*>(event);
            // Only keys that type a character count; Tab moves the focus and types nothing.
            if (!key->text().isEmpty() && key->key() != Qt::Key_Tab && key->key() != Qt::Key_Backtab)
                Edit1KeyPress(key->text().front());
        } else if (event->type() == QEvent::KeyRelease) {
            if (!static_cast<QKeyEvent*>(event)->isAutoRepeat())
                Edit1KeyUp();
        }
    }
    return QWidget::eventFilter(watched, event);
}

void TForm2::Edit1KeyPress(QChar key)
{
    m_digitTyped = key >= QLatin1Char('0') && key <= QLatin1Char('9');
    if (!m_digitTyped)
        QApplication::beep();
}

void TForm2::Edit1KeyUp()
{
    if (!m_digitTyped)
        m_edit1->clear();
}

void TForm2::BitBtn1Click()
{
    if (!Cards::gamesTariffAccepted(m_edit2->text())) {
        MessageBoxes::showMessage(Cards::entryErrorMessage());
        m_bitBtn1->setText(Cards::generateCaption());
        return;
    }
    const int count = Cards::acceptedCount(m_edit1->text());
    if (count == 0) {
        MessageBoxes::showMessage(Cards::countErrorMessage());
        m_edit1->setText(Cards::defaultCount());
        m_bitBtn1->setText(Cards::generateCaption());
        return;
    }
    // The cards are written into Table1 once the table store is in place.
    m_bitBtn1->setText(Cards::generateCaption());
}

void TForm2::BitBtn2Click()
{
    if (!Cards::gamesTariffAccepted(m_edit2->text())) {
        MessageBoxes::showMessage(Cards::entryErrorMessage());
        return;
    }
    Settings::saveCardTariffs(m_memo1, {m_edit2->text(), m_edit3->text()});
    MessageBoxes::showMessage(Cards::storedMessage());
}

void TForm2::Edit4Change()
{
}

void TForm2::BitBtn3Click()
{
    // PRINT COMMAND: the card report over the main card table is previewed from here.
}

void TForm2::BitBtn4Click()
{
    close();
}
