#include "platform/report/ReportEngine.h"

#include "platform/AppError.h"

#include <algorithm>

namespace Report {

namespace {

// Band heights are sums of tenths of millimetres; a band that fits exactly must not be pushed
// to the next page by rounding.
constexpr double Tolerance = 1e-6;

class PageBuilder
{
public:
    PageBuilder(const Definition& definition, DataSet& data, const QString& printDate)
        : m_def(definition)
        , m_data(data)
        , m_printDate(printDate)
        , m_area(definition.printableRect())
    {
    }

    QList<Page> run()
    {
        const Band* footer = m_def.band(BandKind::PageFooter);
        m_bottom = m_area.bottom() - (footer ? footer->height : 0);

        m_data.first();
        if (m_data.atEnd())
            return {};

        startPage();
        if (const Band* title = m_def.band(BandKind::Title))
            place(*title);
        placeColumnHeader();
        for (; !m_data.atEnd(); m_data.next()) {
            const Band* detail = detailFor();
            if (!detail)
                continue;
            // A page that holds no detail yet takes the band even when it is too tall,
            // so that an oversized band cannot make pages without end.
            const double room = std::min(detail->height + detail->keepSpaceAfter, m_bottom - m_area.top());
            if (m_y + std::max(room, detail->height) > m_bottom + Tolerance && m_detailsOnPage > 0) {
                finishPage(footer);
                startPage();
                placeColumnHeader();
            }
            place(*detail);
            ++m_detailsOnPage;
        }
        finishPage(footer);
        return m_pages;
    }

private:
    const Band* detailFor() const
    {
        if (m_def.bandField.isEmpty())
            return m_def.band(BandKind::Detail);
        const QString name = m_data.fieldText(m_def.bandField);
        for (const Band& b : m_def.bands) {
            if (b.kind == BandKind::Detail && b.name == name)
                return &b;
        }
        throw AppError(QStringLiteral("The report %1 has no band '%2'").arg(m_def.name, name));
    }

    void startPage()
    {
        Page page;
        page.number = int(m_pages.size()) + 1;
        page.size = m_def.pageSize;
        m_pages.append(page);
        m_y = m_area.top();
        m_detailsOnPage = 0;
    }

    void placeColumnHeader()
    {
        if (const Band* header = m_def.band(BandKind::ColumnHeader))
            place(*header);
    }

    void finishPage(const Band* footer)
    {
        if (!footer)
            return;
        m_y = m_bottom;
        place(*footer);
    }

    void place(const Band& band)
    {
        PlacedBand placed;
        placed.name = band.name;
        placed.kind = band.kind;
        placed.rect = QRectF(m_area.left(), m_y, m_area.width(), band.height);
        for (const Item& item : band.items) {
            PlacedItem p;
            p.name = item.name;
            p.text = textOf(item);
            p.rect = item.rect.translated(placed.rect.topLeft());
            p.align = item.align;
            p.style = item.style;
            p.clip = !item.autoSize;
            p.rightToLeft = item.rightToLeft;
            p.directionFromText = item.directionFromText;
            p.fill = item.fill;
            p.chart = item.chart;
            placed.items.append(p);
        }
        m_pages.last().bands.append(placed);
        m_y += band.height;
    }

    QString textOf(const Item& item) const
    {
        switch (item.source) {
        case Source::Label:
            return item.text;
        case Source::Field:
            return m_data.atEnd() ? QString() : m_data.fieldText(item.field);
        case Source::PrintDate:
            return item.text + m_printDate;
        case Source::PageNumber:
            return item.text + QString::number(m_pages.last().number);
        }
        return {};
    }

    const Definition& m_def;
    DataSet& m_data;
    const QString m_printDate;
    const QRectF m_area;
    double m_bottom = 0;
    double m_y = 0;
    int m_detailsOnPage = 0;
    QList<Page> m_pages;
};

} // namespace

QRectF Definition::printableRect() const
{
    return QRectF(QPointF(0, 0), pageSize).marginsRemoved(margins);
}

const Band* Definition::band(BandKind kind) const
{
    for (const Band& b : bands) {
        if (b.kind == kind)
            return &b;
    }
    return nullptr;
}

RowsDataSet::RowsDataSet(QStringList fields, QList<QStringList> rows)
    : m_fields(std::move(fields))
    , m_rows(std::move(rows))
{
}

QString RowsDataSet::fieldText(const QString& field) const
{
    const qsizetype column = m_fields.indexOf(field);
    if (column < 0)
        throw AppError(QStringLiteral("Field '%1' not found").arg(field));
    if (atEnd())
        return {};
    return m_rows.at(m_row).value(column);
}

const PlacedItem* PlacedBand::item(const QString& itemName) const
{
    for (const PlacedItem& i : items) {
        if (i.name == itemName)
            return &i;
    }
    return nullptr;
}

QList<const PlacedBand*> Page::bandsOf(BandKind kind) const
{
    QList<const PlacedBand*> result;
    for (const PlacedBand& b : bands) {
        if (b.kind == kind)
            result.append(&b);
    }
    return result;
}

QList<Page> layOut(const Definition& definition, DataSet& data, const QString& printDate)
{
    return PageBuilder(definition, data, printDate).run();
}

} // namespace Report
