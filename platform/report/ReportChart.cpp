#include "platform/report/ReportChart.h"

#include "platform/Regional.h"

#include <QFontMetricsF>
#include <QPainter>
#include <cmath>

namespace ReportChart {

namespace {

// A step of 1, 2 or 5 times a power of ten that cuts the range into at most about five parts.
double niceStep(double range)
{
    if (range <= 0)
        return 1;
    const double rough = range / 5;
    const double power = std::pow(10.0, std::floor(std::log10(rough)));
    for (const double f : {1.0, 2.0, 5.0, 10.0}) {
        if (f * power >= rough)
            return f * power;
    }
    return 10 * power;
}

QFont chartFont(double pixelSize)
{
    QFont font;
    font.setFamilies({QStringLiteral("Arial"), QStringLiteral("Liberation Sans"), QStringLiteral("Noto Sans Arabic"),
                      QStringLiteral("DejaVu Sans")});
    font.setPixelSize(std::max(1, int(std::lround(pixelSize))));
    font.setHintingPreference(QFont::PreferNoHinting);
    return font;
}

} // namespace

Geometry layOut(const Report::Chart& chart, const QRectF& area, double axisWidth, double labelHeight, double legendHeight)
{
    Geometry g;
    g.plot = QRectF(area.left(), area.top() + legendHeight, area.width() - axisWidth, area.height() - legendHeight - labelHeight);
    double low = 0, high = 0;
    for (const QList<double>& stack : chart.values) {
        double up = 0, down = 0;
        for (const double v : stack)
            (v >= 0 ? up : down) += v;
        high = std::max(high, up);
        low = std::min(low, down);
    }
    const double step = niceStep(high - low);
    g.low = std::floor(low / step) * step;
    g.high = std::max(g.low + step, std::ceil(high / step) * step);
    for (double t = g.low; t <= g.high + step / 2; t += step)
        g.ticks.append(std::abs(t) < step / 1e6 ? 0.0 : t);

    const qsizetype n = chart.categories.size();
    if (n == 0)
        return g;
    const double slot = g.plot.width() / double(n);
    const double barWidth = slot * 0.7;
    auto yOf = [&](double value) { return g.plot.bottom() - (value - g.low) / (g.high - g.low) * g.plot.height(); };
    for (qsizetype c = 0; c < n; ++c) {
        // The first category stands at the right.
        const double centre = g.plot.right() - slot * (double(c) + 0.5);
        QList<QRectF> stack;
        double up = 0, down = 0;
        const QList<double> values = chart.values.value(c);
        for (qsizetype s = 0; s < chart.series.size(); ++s) {
            const double v = values.value(s);
            double& base = v >= 0 ? up : down;
            const double y0 = yOf(base), y1 = yOf(base + v);
            stack.append(QRectF(centre - barWidth / 2, std::min(y0, y1), barWidth, std::abs(y1 - y0)));
            base += v;
        }
        g.bars.append(stack);
    }
    return g;
}

void paint(QPainter& painter, const Report::Chart& chart, const QRectF& box, double dotsPerMm)
{
    const QFont font = chartFont(2.6 * dotsPerMm);
    const QFontMetricsF metrics(font, painter.device());
    double axisWidth = 0;
    const Geometry probe = layOut(chart, box, 0, 0, 0);
    for (const double t : probe.ticks)
        axisWidth = std::max(axisWidth, metrics.horizontalAdvance(Regional::formatGeneral(t)));
    axisWidth += 2 * dotsPerMm;
    const double labelHeight = metrics.height() + dotsPerMm;
    const double legendHeight = chart.series.size() > 1 ? metrics.height() + dotsPerMm : 0;
    const Geometry g = layOut(chart, box, axisWidth, labelHeight, legendHeight);

    painter.save();
    painter.setFont(font);
    const QPen gridPen(QColor(0xD0, 0xD0, 0xD0), std::max(1.0, 0.15 * dotsPerMm));
    const QPen axisPen(Qt::black, std::max(1.0, 0.2 * dotsPerMm));
    auto yOf = [&](double value) { return g.plot.bottom() - (value - g.low) / (g.high - g.low) * g.plot.height(); };

    // The value axis on the right, its labels beyond it.
    for (const double t : g.ticks) {
        const double y = yOf(t);
        painter.setPen(t == 0 ? axisPen : gridPen);
        painter.drawLine(QPointF(g.plot.left(), y), QPointF(g.plot.right(), y));
        painter.setPen(Qt::black);
        painter.drawText(QRectF(g.plot.right() + dotsPerMm, y - metrics.height() / 2, axisWidth - dotsPerMm, metrics.height()),
                         Qt::AlignLeft | Qt::AlignVCenter, Regional::formatGeneral(t));
    }
    painter.setPen(axisPen);
    painter.drawLine(g.plot.topRight(), g.plot.bottomRight());

    painter.setPen(Qt::NoPen);
    for (qsizetype c = 0; c < g.bars.size(); ++c) {
        for (qsizetype s = 0; s < g.bars.at(c).size(); ++s) {
            painter.setBrush(chart.series.at(s).color);
            painter.drawRect(g.bars.at(c).at(s));
        }
    }

    // Category labels under their bars; where they would crowd, only every k-th.
    const qsizetype n = chart.categories.size();
    if (n > 0) {
        const double slot = g.plot.width() / double(n);
        double widest = 0;
        for (const QString& label : chart.categories)
            widest = std::max(widest, metrics.horizontalAdvance(label));
        const qsizetype every = std::max<qsizetype>(1, qsizetype(std::ceil((widest + dotsPerMm) / slot)));
        painter.setPen(Qt::black);
        for (qsizetype c = 0; c < n; c += every) {
            const double centre = g.plot.right() - slot * (double(c) + 0.5);
            const double width = slot * double(every);
            painter.drawText(QRectF(centre - width / 2, g.plot.bottom() + dotsPerMm * 0.5, width, metrics.height()),
                             Qt::AlignHCenter | Qt::AlignTop, metrics.elidedText(chart.categories.at(c), Qt::ElideRight, width));
        }
    }

    // The legend, read from the right.
    if (chart.series.size() > 1) {
        double x = g.plot.right();
        const double square = metrics.height() * 0.7;
        for (const Report::ChartSeries& series : chart.series) {
            painter.setPen(Qt::NoPen);
            painter.setBrush(series.color);
            painter.drawRect(QRectF(x - square, box.top() + (metrics.height() - square) / 2, square, square));
            const double w = metrics.horizontalAdvance(series.name);
            painter.setPen(Qt::black);
            painter.drawText(QRectF(x - square - dotsPerMm - w, box.top(), w, metrics.height()),
                             Qt::AlignRight | Qt::AlignVCenter, series.name);
            x -= square + 2 * dotsPerMm + w + 3 * dotsPerMm;
        }
    }
    painter.restore();
}

} // namespace ReportChart
