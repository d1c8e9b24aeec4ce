#include "stations/ui/StationRow.h"

#include "platform/ui/CircleShape.h"
#include "platform/ui/Widgets.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>

namespace {

// The rows were laid out one by one, so these components carry names that do not follow the
// row index; each row also has its own background.
struct IrregularNames
{
    const char* refresh;
    const char* remainingCaption;
    const char* colon;
    const char* minutesCaption;
    const char* separator;
    QRgb background;
};

constexpr std::array<IrregularNames, StationRow::Count> RowNames{{
    {"BitBtn3", "Label2", "Label4", "Label3", "Panel3", qRgb(218, 203, 203)},
    {"BitBtn5", "Label9", "Label12", "Label14", "Panel4", qRgb(220, 211, 163)},
    {"BitBtn6", "Label15", "Label17", "Label19", "Panel5", qRgb(233, 237, 216)},
    {"BitBtn7", "Label7", "Label13", "Label18", "Panel6", qRgb(217, 236, 222)},
    {"BitBtn8", "Label21", "Label23", "Label25", "Panel8", qRgb(217, 224, 236)},
    {"BitBtn9", "Label27", "Label29", "Label31", "Panel10", qRgb(230, 216, 237)},
    {"BitBtn10", "Label33", "Label35", "Label37", "Panel12", qRgb(242, 241, 210)},
    {"BitBtn11", "Label39", "Label41", "Label43", "Panel14", qRgb(226, 242, 210)},
    {"BitBtn12", "Label45", "Label47", "Label49", "Panel16", qRgb(211, 241, 233)},
    {"BitBtn13", "Label51", "Label53", "Label55", "Panel18", qRgb(208, 225, 244)},
    {"BitBtn14", "Label57", "Label59", "Label61", "Panel20", qRgb(250, 231, 203)},
    {"BitBtn15", "Label63", "Label65", "Label67", "Panel22", qRgb(249, 204, 205)},
}};

QPushButton* pictureButton(QWidget* parent, const QString& name, QStyle::StandardPixmap picture, const QString& hint, int left,
                           int top, int width, int height)
{
    auto* b = Widgets::button(parent, name, QString(), left, top, width, height);
    b->setIcon(parent->style()->standardIcon(picture));
    b->setToolTip(hint);
    return b;
}

// The two kind choices were laid out 11 pixels high, which clips the indicator and the marks
// above the Arabic letters (the hamza of "ألعاب" would vanish). They keep their left, width and
// centre line and grow just enough to stay readable while still stacking without overlap.
constexpr int ChoiceHeight = 15;

QRadioButton* radioButton(QWidget* parent, const QString& name, const QString& caption, int left, int top, int width, int height)
{
    auto* r = new QRadioButton(caption, parent);
    r->setObjectName(name);
    r->setGeometry(left, top + (height - ChoiceHeight) / 2, width, ChoiceHeight);
    return r;
}

// The name label's text stays the station's whole name, which the commands use; only what is
// drawn is shortened, with an ellipsis, to the width the row gives it.
class ElidedLabel final : public QLabel
{
public:
    explicit ElidedLabel(QWidget* parent)
        : QLabel(parent)
    {
        setTextFormat(Qt::PlainText);
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        const QRect area = contentsRect();
        const QString shown = fontMetrics().elidedText(text(), Qt::ElideRight, area.width());
        style()->drawItemText(&painter, area, int(QStyle::visualAlignment(layoutDirection(), alignment())), palette(),
                              isEnabled(), shown, foregroundRole());
    }
};

} // namespace

StationRow::StationRow(QWidget* parent, int index)
    : QFrame(parent)
    , m_index(index)
{
    const IrregularNames& names = RowNames.at(index);
    const QString suffix = QString::number(index);
    auto named = [&suffix](const char* family) { return QLatin1String(family) + suffix; };

    setObjectName(named("PanelC"));
    setFrameShape(QFrame::Panel);
    setFrameShadow(QFrame::Sunken);
    setAutoFillBackground(true);
    QPalette rowPalette = palette();
    rowPalette.setColor(QPalette::Window, QColor(names.background));
    setPalette(rowPalette);
    setGeometry(Left, FirstTop + Height * index, 764, Height);
    hide();

    m_refresh = pictureButton(this, QLatin1String(names.refresh), QStyle::SP_BrowserReload, QStringLiteral("تحديث"), 727, 6, 33,
                              24);

    m_name = new ElidedLabel(this);
    m_name->setObjectName(named("LabelName"));
    Widgets::setColour(m_name, Qt::blue);
    m_name->setText(QStringLiteral("Kelvarin") + suffix);
    m_name->move(635, 9);
    QFont nameFont = m_name->font();
    nameFont.setPointSize(10);
    nameFont.setBold(true);
    m_name->setFont(nameFont);
    m_name->adjustSize();

    m_green = new CircleShape(this, named("ShapeGreen"), Qt::green);
    m_green->setGeometry(590, 8, 22, 23);
    m_green->hide();
    m_red = new CircleShape(this, named("ShapeRed"), Qt::red);
    m_red->setGeometry(590, 8, 22, 23);
    m_red->hide();

    m_stop = Widgets::button(this, named("BitBtnStop"), QStringLiteral("إيقاف التشغيل"), 511, 6, 75, 25);
    m_exit = Widgets::button(this, named("BitBtnExit"), QStringLiteral("تسجيل خروج "), 434, 6, 75, 25);
    // Only the first row's button was given its hint.
    m_close = pictureButton(this, named("BitBtnClose"), QStyle::SP_DialogCloseButton,
                            index == 0 ? QStringLiteral("إغلاق برنامج الحماية") : QString(), 391, 6, 29, 25);

    m_separator = new QFrame(this);
    m_separator->setObjectName(QLatin1String(names.separator));
    m_separator->setFrameShape(QFrame::VLine);
    m_separator->setFrameShadow(QFrame::Sunken);
    m_separator->setGeometry(377, 3, 2, 31);

    m_games = radioButton(this, named("RadioButtonG"), QStringLiteral("ألعاب"), 308, 6, 49, 11);
    m_games->setChecked(true);
    m_internet = radioButton(this, named("RadioButtonI"), QStringLiteral("أنترنيت"), 304, 21, 53, 11);

    m_minutes = new QComboBox(this);
    m_minutes->setObjectName(named("ComboBox"));
    m_minutes->setEditable(true);
    // Typed minutes are used as they stand; they do not join the list, and nothing completes
    // them from it ("1" would otherwise become "10" and bill ten times the time).
    m_minutes->setInsertPolicy(QComboBox::NoInsert);
    m_minutes->setCompleter(nullptr);
    m_minutes->addItems({QStringLiteral("10"), QStringLiteral("15"), QStringLiteral("20"), QStringLiteral("30"),
                         QStringLiteral("60"), QStringLiteral("120")});
    m_minutes->setCurrentIndex(m_minutes->findText(QStringLiteral("15")));
    m_minutes->setGeometry(index == 0 ? 250 : 249, 8, 40, 21);

    m_open = Widgets::button(this, named("BitBtnOpen"), QStringLiteral("فتح"), 202, 6, 44, 25);
    m_timeStop = pictureButton(this, named("BitBtnTimeStop"), QStyle::SP_MediaStop, QStringLiteral("ايقاف الوقت"), 165, 6, 28,
                               25);

    m_remainingCaption = Widgets::label(this, QLatin1String(names.remainingCaption), QStringLiteral("الوقت المتبقي"), 86, 12);
    m_seconds = Widgets::label(this, named("LabelS"), QStringLiteral("00"), 64, 12, Qt::blue);
    m_colon = Widgets::label(this, QLatin1String(names.colon), QStringLiteral(":"), 58, 11, Qt::red);
    m_minutesDisplay = Widgets::label(this, named("LabelM"), QStringLiteral("00"), 44, 12, Qt::blue);
    m_minutesCaption = Widgets::label(this, QLatin1String(names.minutesCaption), QStringLiteral("دقيقة"), 7, 12);
}

QString StationRow::stationName() const
{
    return m_name->text();
}

void StationRow::setStationName(const QString& name)
{
    Widgets::setCaption(m_name, name);
    // A long name would grow over the lamps and the buttons; it keeps clear of the lamps, with a
    // little air, and is drawn cut short instead.
    const int leftLimit = m_green->geometry().right() + 4;
    if (m_name->x() < leftLimit) {
        const int right = m_name->x() + m_name->width();
        m_name->setGeometry(leftLimit, m_name->y(), right - leftLimit, m_name->height());
    }
}

void StationRow::showTime(const QString& minutes, const QString& seconds)
{
    // The minutes grow away from the colon, to the left; the seconds keep their place right of it.
    Widgets::setCaption(m_minutesDisplay, minutes);
    m_seconds->setText(seconds);
    m_seconds->adjustSize();
    // Minutes of four or five digits leave no room for the whole unit word between them and the
    // row's edge: it is then written as its abbreviation, which the card grid's title uses too.
    constexpr int gap = 3;
    const QString word = QStringLiteral("دقيقة");
    const bool wordFits = m_minutesCaption->x() + m_minutesCaption->fontMetrics().horizontalAdvance(word) + gap
        <= m_minutesDisplay->x();
    m_minutesCaption->setText(wordFits ? word : QStringLiteral("د"));
    m_minutesCaption->adjustSize();
}

void StationRow::setLamp(bool reachable)
{
    m_green->setVisible(reachable);
    m_red->setVisible(!reachable);
}

bool StationRow::lampShowsReachable() const
{
    return !m_green->isHidden() && m_red->isHidden();
}

std::array<QPushButton*, 5> StationRow::commandButtons() const
{
    return {m_stop, m_exit, m_open, m_close, m_timeStop};
}

void StationRow::setCommandButtonsEnabled(bool enabled)
{
    for (QPushButton* button : commandButtons())
        button->setEnabled(enabled);
}

void StationRow::hideCardModeSet()
{
    for (QWidget* control :
         std::initializer_list<QWidget*>{m_open, m_timeStop, m_games, m_internet, m_minutes, m_remainingCaption, m_seconds,
                                         m_colon, m_minutesDisplay, m_minutesCaption})
        control->hide();
}
