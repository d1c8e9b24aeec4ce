#pragma once

#include <QCache>
#include <QFont>
#include <QStyledItemDelegate>
#include <QTextLayout>

// Draws a grid's cells as the style draws an item view's cells, keeping each text as laid out.
//
// Cells are laid out right to left, where a date such as "10 Dec 2026" or a negative number would
// come out reordered; each cell's text is isolated and takes its direction from its own first
// letter, so Latin and numeric texts read as written and Arabic ones stay right to left.
//
// Laying a text out (shaping it) is most of the cost of drawing a cell, twice over: once to place
// it, once to draw it. A card batch redraws its newest rows after every card, so the texts of a
// cell are kept as laid out (cut to the cell as the style cuts them) and a cell whose text has been
// seen is drawn from them; a text of several lines is left to the style.
class GridDelegate final : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override;

private:
    struct Key
    {
        QString text;
        QFont font;
        int width;
        int direction;
        int alignment;
        int elideMode;
        bool operator==(const Key& other) const = default;
        friend size_t qHash(const Key& key, size_t seed = 0)
        {
            return qHashMulti(seed, key.text, key.font, key.width, key.direction, key.alignment, key.elideMode);
        }
    };
    struct Laid
    {
        QTextLayout layout;
        QSize size;            // of the whole text, even when cut
        bool drawable = false; // one line: drawn as laid out
    };

    const Laid& laidOut(const Key& key) const;

    // Enough for every text a few screens of a grid show.
    mutable QCache<Key, Laid> m_laid{4000};
};
