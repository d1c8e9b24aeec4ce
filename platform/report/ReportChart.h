#pragma once

#include <QColor>
#include <QList>
#include <QRectF>
#include <QString>
#include <QStringList>

class QPainter;

// A bar chart as an item of a report page, painted with QPainter like the page's text, so that
// the window, the preview, the printer and a PDF draw the same vector picture.
//
// Right to left: the categories run from the right edge to the left in their order (the order of
// the columns of the table beside the chart, which reads right to left too), and the value axis
// with its labels stands on the right. Bars of several series are stacked, the first series at the
// bottom. Axis labels are written in the regional number format.
namespace Report {

struct ChartSeries
{
    QString name;
    QColor color;
};

struct Chart
{
    QStringList categories;
    QList<ChartSeries> series;
    QList<QList<double>> values; // values[category][series]
};

} // namespace Report

namespace ReportChart {

// Where the bars go inside an area (any unit): the plot's box and each category's stack, from the
// first category (rightmost) on; a stack holds one box per series.
struct Geometry
{
    QRectF plot;
    QList<QList<QRectF>> bars;
    QList<double> ticks; // the value axis's labelled values, lowest first
    double low = 0, high = 1;
};
Geometry layOut(const Report::Chart& chart, const QRectF& area, double axisWidth, double labelHeight, double legendHeight);

// Paints the chart into box, in device pixels at dotsPerMm.
void paint(QPainter& painter, const Report::Chart& chart, const QRectF& box, double dotsPerMm);

} // namespace ReportChart
