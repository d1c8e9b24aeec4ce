#pragma once

#include "platform/report/ReportChart.h"

#include <QColor>
#include <QList>
#include <QMarginsF>
#include <QRectF>
#include <QSizeF>
#include <QString>
#include <QStringList>
#include <memory>

// A small banded report engine: a definition (page, bands, items in millimetres), a layout step
// that walks a data set and places the bands on pages, and a painter (ReportPainter.h) that puts
// the laid-out pages on any paint device. Laying out needs no fonts: every item keeps the box the
// definition gives it, so the pages can be checked in millimetres without rendering anything.
namespace Report {

enum class BandKind { Title, ColumnHeader, Detail, PageFooter };
enum class Align { Left, Right, Center };
// Where an item's text comes from.
enum class Source {
    Label,      // the item's text
    Field,      // the named field of the current row
    PrintDate,  // the item's text followed by the date of the run
    PageNumber, // the item's text followed by the page number
};

struct TextStyle
{
    QString family;
    double pointSize = 10;
    QColor color = Qt::black;

    bool operator==(const TextStyle&) const = default;
};

struct Item
{
    QString name;
    Source source = Source::Label;
    QString text;  // the label, or the text before the system data
    QString field; // for Source::Field
    QRectF rect;   // millimetres from the band's top-left corner
    Align align = Align::Left;
    TextStyle style;
    // A self-sizing item keeps its aligned edge and grows with its text; any other item is cut to
    // its box.
    bool autoSize = false;
    bool rightToLeft = false;
    // The direction taken from the text's first letter instead (right to left for Arabic), for a
    // column of figures that may hold a word.
    bool directionFromText = false;
    // Painted under the text over the whole box, when valid.
    QColor fill;
    // A chart filling the box (ReportChart.h), painted before the text.
    std::shared_ptr<const Chart> chart;
};

struct Band
{
    QString name;
    BandKind kind = BandKind::Detail;
    double height = 0; // millimetres; every band spans the printable width
    QList<Item> items;
    // A detail band that must not end a page without this much room after it (a heading that
    // belongs with the rows under it) starts a new page instead.
    double keepSpaceAfter = 0;
};

// What the report asks of the printer until the operator changes it in the printer set-up.
struct PrinterSettings
{
    int copies = 1;
    bool duplex = false;
    int paperBin = 1; // 1 is the first bin
    // An empty range (0, 0) prints every page.
    int fromPage = 0;
    int toPage = 0;
};

struct Definition
{
    QString name;
    QSizeF pageSize;   // millimetres, as the paper is printed
    QMarginsF margins; // millimetres
    TextStyle font;    // the report font
    QList<Band> bands;
    PrinterSettings printer;
    // When set, each row names in this field the detail band it is printed with (a band's name),
    // so one report can hold headings, tables and charts; otherwise every row takes the first
    // detail band.
    QString bandField;

    QRectF printableRect() const;
    // The first band of that kind, or nullptr.
    const Band* band(BandKind kind) const;
};

// The rows a report walks, in the order it prints them. A table cursor fits it directly.
class DataSet
{
public:
    virtual ~DataSet() = default;
    virtual void first() = 0;
    virtual bool atEnd() const = 0;
    virtual void next() = 0;
    virtual QString fieldText(const QString& field) const = 0;
};

// A table cursor as a data set: anything with MoveFirst, MoveNext, AtEnd and GetFieldText.
template <typename Cursor>
class CursorDataSet final : public DataSet
{
public:
    explicit CursorDataSet(Cursor& cursor)
        : m_cursor(cursor)
    {
    }
    void first() override { m_cursor.MoveFirst(); }
    bool atEnd() const override { return m_cursor.AtEnd(); }
    void next() override { m_cursor.MoveNext(); }
    QString fieldText(const QString& field) const override { return m_cursor.GetFieldText(field); }

private:
    Cursor& m_cursor;
};

// Rows held in memory: each row lists the texts of the fields in the given order.
class RowsDataSet final : public DataSet
{
public:
    RowsDataSet(QStringList fields, QList<QStringList> rows);
    void first() override { m_row = 0; }
    bool atEnd() const override { return m_row >= m_rows.size(); }
    void next() override { ++m_row; }
    QString fieldText(const QString& field) const override;

private:
    QStringList m_fields;
    QList<QStringList> m_rows;
    qsizetype m_row = 0;
};

struct PlacedItem
{
    QString name;
    QString text;
    QRectF rect; // millimetres from the paper's top-left corner
    Align align = Align::Left;
    TextStyle style;
    bool clip = true;
    bool rightToLeft = false;
    bool directionFromText = false;
    QColor fill;
    std::shared_ptr<const Chart> chart;
};

struct PlacedBand
{
    QString name;
    BandKind kind = BandKind::Detail;
    QRectF rect; // millimetres from the paper's top-left corner
    QList<PlacedItem> items;

    // The item of that name, or nullptr.
    const PlacedItem* item(const QString& itemName) const;
};

struct Page
{
    int number = 0; // from 1
    QSizeF size;    // millimetres
    QList<PlacedBand> bands;

    QList<const PlacedBand*> bandsOf(BandKind kind) const;
};

// Lays the report out: the title band once at the top of the first page, the column header at
// the top of every page, one detail band per row from the first row to the last, and the page
// footer at the foot of every page (a row may choose its detail band: Definition::bandField). A
// data set without rows gives no pages. printDate is the text
// that date items print after their own text.
QList<Page> layOut(const Definition& definition, DataSet& data, const QString& printDate);

} // namespace Report
