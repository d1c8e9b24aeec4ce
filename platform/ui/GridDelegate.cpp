#include "platform/ui/GridDelegate.h"

#include <QApplication>
#include <QPainter>
#include <QStyle>
#include <QTextLine>

void GridDelegate::initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const
{
    QStyledItemDelegate::initStyleOption(option, index);
    if (!option->text.isEmpty())
        option->text = QChar(0x2068) + option->text + QChar(0x2069);
}

namespace {

// The text is laid out as the style lays out an item's text: lines as wide as the text's room,
// no wrapping but at line separators. Gives the widest line's width.
qreal layOut(QTextLayout& layout, const QString& text, const QFont& font, const QTextOption& textOption, int width)
{
    layout.setText(text);
    layout.setFont(font);
    layout.setTextOption(textOption);
    layout.setCacheEnabled(true);
    layout.beginLayout();
    qreal height = 0;
    qreal widest = 0;
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(width);
        line.setPosition(QPointF(0, height));
        height += line.height();
        widest = std::max(widest, line.naturalTextWidth());
    }
    layout.endLayout();
    return widest;
}

} // namespace

// A text too wide for its room is cut with an ellipsis as the style cuts it, and placed as the
// style places it: by the size of the whole text.
const GridDelegate::Laid& GridDelegate::laidOut(const Key& key) const
{
    if (const Laid* found = m_laid.object(key))
        return *found;
    auto* laid = new Laid;
    QTextOption textOption;
    textOption.setWrapMode(QTextOption::ManualWrap);
    textOption.setTextDirection(Qt::LayoutDirection(key.direction));
    textOption.setAlignment(Qt::Alignment(key.alignment));
    const qreal widest = layOut(laid->layout, key.text, key.font, textOption, key.width);
    laid->size = laid->layout.boundingRect().size().toSize();
    laid->drawable = laid->layout.lineCount() == 1;
    if (laid->drawable && widest > key.width) {
        const QString cut = QFontMetrics(key.font).elidedText(key.text, Qt::TextElideMode(key.elideMode), key.width);
        layOut(laid->layout, cut, key.font, textOption, key.width);
    }
    const Laid& result = *laid;
    m_laid.insert(key, laid);
    return result;
}

void GridDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    QStyleOptionViewItem opt = option;
    initStyleOption(&opt, index);
    const QWidget* widget = opt.widget;
    const QStyle* style = widget ? widget->style() : QApplication::style();

    constexpr auto byStyle = QStyleOptionViewItem::WrapText | QStyleOptionViewItem::HasCheckIndicator
        | QStyleOptionViewItem::HasDecoration;
    if (opt.text.isEmpty() || (opt.features & byStyle) || (opt.state & QStyle::State_Editing)) {
        style->drawControl(QStyle::CE_ItemViewItem, &opt, painter, widget);
        return;
    }

    // The text is placed where the style places it.
    const QString text = std::exchange(opt.text, QString());
    const QStyle::State state = opt.state;
    opt.state &= ~QStyle::State_HasFocus;
    const QRect itemText = style->subElementRect(QStyle::SE_ItemViewItemText, &opt, widget);
    const int margin = style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, widget) + 1;
    const QRect textRect = itemText.adjusted(margin, 0, -margin, 0);
    const Laid& laid = laidOut({text, opt.font, textRect.width(), int(opt.direction),
                                int(QStyle::visualAlignment(opt.direction, opt.displayAlignment)), int(opt.textElideMode)});
    if (!laid.drawable) {
        opt.text = text;
        opt.state = state;
        style->drawControl(QStyle::CE_ItemViewItem, &opt, painter, widget);
        return;
    }

    QPalette::ColorGroup group = state & QStyle::State_Enabled ? QPalette::Normal : QPalette::Disabled;
    if (group == QPalette::Normal && !(state & QStyle::State_Active))
        group = QPalette::Inactive;
    const QRect placed = QStyle::alignedRect(Qt::LayoutDirectionAuto, opt.displayAlignment, laid.size, textRect);
    painter->save();
    painter->setClipRect(opt.rect);
    // An item of text alone is its panel, then its text, then its focus.
    style->drawPrimitive(QStyle::PE_PanelItemViewItem, &opt, painter, widget);
    painter->setPen(opt.palette.color(group, state & QStyle::State_Selected ? QPalette::HighlightedText : QPalette::Text));
    laid.layout.draw(painter, QPointF(textRect.x(), placed.top()));
    if (state & QStyle::State_HasFocus) {
        opt.text = text;
        opt.state = state;
        QStyleOptionFocusRect focus;
        focus.QStyleOption::operator=(opt);
        focus.rect = style->subElementRect(QStyle::SE_ItemViewItemFocusRect, &opt, widget);
        focus.state |= QStyle::State_KeyboardFocusChange | QStyle::State_Item;
        const QPalette::ColorGroup enabled = state & QStyle::State_Enabled ? QPalette::Normal : QPalette::Disabled;
        focus.backgroundColor = opt.palette.color(enabled,
                                                  state & QStyle::State_Selected ? QPalette::Highlight : QPalette::Window);
        style->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, painter, widget);
    }
    painter->restore();
}
