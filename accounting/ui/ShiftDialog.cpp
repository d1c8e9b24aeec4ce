#include "accounting/ui/ShiftDialog.h"

#include "accounting/ShiftSlip.h"
#include "install/OwnerPin.h"
#include "platform/AppError.h"
#include "platform/ui/Guard.h"
#include "platform/ui/Widgets.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace {

constexpr int Width = 340;
constexpr int FieldWidth = 190;
constexpr int CaptionLeft = 210;

QLabel* caption(QWidget* parent, const QString& text, int top)
{
    auto* label = new QLabel(text, parent);
    label->setTextFormat(Qt::PlainText);
    label->setGeometry(CaptionLeft, top, Width - CaptionLeft - 10, 22);
    return label;
}

QLabel* value(QWidget* parent, const QString& name, int top)
{
    auto* label = new QLabel(parent);
    label->setObjectName(name);
    label->setTextFormat(Qt::PlainText);
    label->setGeometry(10, top, FieldWidth, 22);
    label->setLayoutDirection(Qt::LeftToRight);
    label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    return label;
}

QComboBox* nameBox(QWidget* parent, const QString& name, int top)
{
    auto* box = new QComboBox(parent);
    box->setObjectName(name);
    box->setEditable(true);
    box->setInsertPolicy(QComboBox::NoInsert);
    box->setGeometry(10, top, FieldWidth, 22);
    // Names used before are offered; a new one is typed.
    box->addItems(Shifts::operatorNames());
    box->setCurrentIndex(-1);
    box->setEditText(QString());
    return box;
}

} // namespace

ShiftDialog::ShiftDialog(Mode mode, QWidget* parent)
    : QDialog(parent)
    , m_mode(mode)
{
    setLayoutDirection(Qt::RightToLeft);
    int top = 10;
    if (mode == Mode::Open) {
        setObjectName(QStringLiteral("FormShiftOpen"));
        setWindowTitle(QStringLiteral("فتح وردية"));
        if (const std::optional<Shifts::Shift> running = Shifts::current())
            throw AppError(QStringLiteral("وردية %1 ما زالت مفتوحة: أغلقها أو سلّمها أولاً").arg(running->operatorName));
        caption(this, QStringLiteral("اسم المشغل"), top);
        m_nameBox = nameBox(this, QStringLiteral("NameBox"), top);
        top += 30;
        caption(this, QStringLiteral("النقد في الدرج"), top);
        m_cashEdit = new QLineEdit(QStringLiteral("0"), this);
        top += 40;
    } else {
        const std::optional<Shifts::Shift> running = Shifts::current();
        if (!running)
            throw AppError(QStringLiteral("لا وردية مفتوحة"));
        m_blind = OwnerPin::blindCount();
        m_figures = Shifts::closing(*running);
        setObjectName(mode == Mode::Close ? QStringLiteral("FormShiftClose") : QStringLiteral("FormShiftHandOver"));
        setWindowTitle(mode == Mode::Close ? QStringLiteral("إغلاق وردية") : QStringLiteral("تسليم وردية"));
        caption(this, QStringLiteral("المشغل"), top);
        value(this, QStringLiteral("OperatorLabel"), top)->setText(running->operatorName);
        top += 26;
        caption(this, QStringLiteral("بداية الوردية"), top);
        value(this, QStringLiteral("OpenedLabel"), top)->setText(ShiftSlip::localTime(running->opened));
        top += 26;
        caption(this, QStringLiteral("النقد عند الفتح"), top);
        value(this, QStringLiteral("OpeningLabel"), top)->setText(ShiftSlip::money(running->openingCash));
        top += 30;
        caption(this, QStringLiteral("النقد المعدود"), top);
        m_cashEdit = new QLineEdit(this);
    }
    m_cashEdit->setObjectName(QStringLiteral("CashEdit"));
    m_cashEdit->setGeometry(10, mode == Mode::Open ? 40 : top, FieldWidth, 22);
    m_cashEdit->setLayoutDirection(Qt::LeftToRight);

    if (mode != Mode::Open) {
        top += 30;
        if (m_blind) {
            m_countButton = Widgets::button(this, QStringLiteral("CountButton"), QStringLiteral("تأكيد العد"), 10, top, 100, 25);
            connect(m_countButton, &QPushButton::clicked, this, Guard::slot(this, &ShiftDialog::CountClick));
            top += 32;
        }
        caption(this, QStringLiteral("النقد المتوقع"), top);
        m_expectedLabel = value(this, QStringLiteral("ExpectedLabel"), top);
        top += 26;
        caption(this, QStringLiteral("الفرق"), top);
        m_differenceLabel = value(this, QStringLiteral("DifferenceLabel"), top);
        top += 30;
        if (mode == Mode::HandOver) {
            caption(this, QStringLiteral("المشغل التالي"), top);
            m_nameBox = nameBox(this, QStringLiteral("NameBox"), top);
            top += 34;
        }
        connect(m_cashEdit, &QLineEdit::textChanged, this, Guard::slot(this, &ShiftDialog::CountChange));
        showFigures(std::nullopt);
    }

    const QString okCaption = mode == Mode::Open ? QStringLiteral("فتح")
        : mode == Mode::Close                    ? QStringLiteral("إغلاق الوردية")
                                                 : QStringLiteral("تسليم");
    m_okButton = Widgets::button(this, QStringLiteral("OkButton"), okCaption, Width - 110, top, 100, 25);
    m_okButton->setDefault(true);
    m_okButton->setEnabled(!m_blind);
    connect(m_okButton, &QPushButton::clicked, this, Guard::slot(this, &ShiftDialog::OkClick));
    auto* cancel = Widgets::button(this, QStringLiteral("CancelButton"), QStringLiteral("إلغاء"), 10, top, 80, 25);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    setFixedSize(Width, top + 35);
    (m_nameBox ? static_cast<QWidget*>(m_nameBox) : m_cashEdit)->setFocus();
}

void ShiftDialog::showFigures(const std::optional<double>& counted)
{
    // Blind: nothing of what the drawer should hold shows before the count is confirmed.
    const bool shown = !m_blind || m_counted;
    m_expectedLabel->setText(shown ? ShiftSlip::money(m_figures->expected) : QStringLiteral("يظهر بعد العد"));
    const bool hasDifference = shown && counted;
    const double difference = hasDifference ? *counted - m_figures->expected : 0;
    m_differenceLabel->setText(hasDifference ? ShiftSlip::money(difference) : QStringLiteral("—"));
    m_differenceLabel->setStyleSheet(hasDifference && ShiftSlip::money(difference) != ShiftSlip::money(0)
                                         ? QStringLiteral("color: red; font-weight: bold")
                                         : QString());
}

void ShiftDialog::CountChange()
{
    std::optional<double> counted;
    try {
        counted = Shifts::parseCash(m_cashEdit->text());
    } catch (const AppError&) {
        // Half typed: the difference waits for a sum.
    }
    showFigures(counted);
}

void ShiftDialog::CountClick()
{
    const double counted = Shifts::parseCash(m_cashEdit->text());
    // What the drawer should hold is read again now, with any session billed meanwhile.
    m_figures = Shifts::closing(m_figures->shift);
    m_counted = true;
    m_cashEdit->setReadOnly(true);
    m_countButton->setEnabled(false);
    m_okButton->setEnabled(true);
    showFigures(counted);
    m_okButton->setFocus();
}

void ShiftDialog::OkClick()
{
    const double cash = Shifts::parseCash(m_cashEdit->text());
    switch (m_mode) {
    case Mode::Open:
        m_opened = Shifts::open(m_nameBox->currentText(), cash);
        break;
    case Mode::Close:
        m_closed = Shifts::close(cash);
        break;
    case Mode::HandOver: {
        Shifts::HandedOver done = Shifts::handOver(cash, m_nameBox->currentText());
        m_closed = done.closed;
        m_opened = done.opened;
        break;
    }
    }
    accept();
}
