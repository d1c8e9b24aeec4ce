#include "platform/report/ReportPainter.h"

#include "platform/AppError.h"

#include <QFile>
#include <QFileInfo>
#include <QFontMetricsF>
#include <QPageLayout>
#include <QPageSize>
#include <QPagedPaintDevice>
#include <QPainter>
#include <QPdfWriter>
#include <QTextLayout>

namespace ReportPainter {

namespace {

// Faces with the metrics of the one a report asks for; the Arabic faces go last in every list.
QStringList familiesFor(const QString& family)
{
    QStringList families{family};
    const QString key = family.toLower();
    if (key == u"arial" || key == u"helvetica")
        families << QStringLiteral("Liberation Sans") << QStringLiteral("Arimo");
    else if (key == u"times new roman")
        families << QStringLiteral("Liberation Serif") << QStringLiteral("Tinos");
    else if (key == u"courier new")
        families << QStringLiteral("Liberation Mono") << QStringLiteral("Cousine");
    families << QStringLiteral("Noto Sans Arabic") << QStringLiteral("DejaVu Sans");
    return families;
}

QRectF toDevice(const QRectF& mm, double dotsPerMm)
{
    return QRectF(mm.x() * dotsPerMm, mm.y() * dotsPerMm, mm.width() * dotsPerMm, mm.height() * dotsPerMm);
}

// One line of text in its box. The baseline lies one ascent of the report's face below the box's
// top, as it would with that face alone: a fallback face for Arabic letters has a taller ascent
// and would otherwise push its line down towards the next card.
void drawItem(QPainter& painter, const Report::PlacedItem& item, double dotsPerMm)
{
    const QFont font = fontFor(item.style);
    QTextLayout layout(item.text, font, painter.device());
    QTextOption option(Qt::AlignLeft | Qt::AlignAbsolute);
    option.setWrapMode(QTextOption::NoWrap);
    const bool rightToLeft = item.directionFromText ? item.text.isRightToLeft() : item.rightToLeft;
    option.setTextDirection(rightToLeft ? Qt::RightToLeft : Qt::LeftToRight);
    layout.setTextOption(option);
    layout.beginLayout();
    QTextLine line = layout.createLine();
    line.setLineWidth(1e9);
    layout.endLayout();

    const QRectF box = toDevice(item.rect, dotsPerMm);
    const qreal width = line.naturalTextWidth();
    qreal x = box.left();
    if (item.align == Report::Align::Right)
        x = box.right() - width;
    else if (item.align == Report::Align::Center)
        x = box.center().x() - width / 2;
    const qreal baseline = box.top() + QFontMetricsF(font, painter.device()).ascent();

    painter.save();
    painter.setPen(item.style.color);
    if (item.clip)
        painter.setClipRect(box, Qt::IntersectClip);
    layout.draw(&painter, QPointF(x, baseline - line.ascent()));
    painter.restore();
}

} // namespace

QFont fontFor(const Report::TextStyle& style)
{
    QFont font;
    font.setFamilies(familiesFor(style.family));
    font.setPointSizeF(style.pointSize);
    // Printed text keeps the face's own advances; hinted screen advances would move the
    // right-aligned texts away from their edges.
    font.setHintingPreference(QFont::PreferNoHinting);
    font.setKerning(true);
    return font;
}

void paintPage(QPainter& painter, const Report::Page& page, double dotsPerMm)
{
    for (const Report::PlacedBand& band : page.bands) {
        for (const Report::PlacedItem& item : band.items) {
            if (item.fill.isValid())
                painter.fillRect(toDevice(item.rect, dotsPerMm), item.fill);
            if (item.chart)
                ReportChart::paint(painter, *item.chart, toDevice(item.rect, dotsPerMm), dotsPerMm);
            if (!item.text.isEmpty())
                drawItem(painter, item, dotsPerMm);
        }
    }
}

void paintPages(QPagedPaintDevice& device, const QList<Report::Page>& pages)
{
    if (pages.isEmpty())
        return;
    QPainter painter;
    if (!painter.begin(&device))
        throw AppError(QStringLiteral("The report cannot be printed on this device"));
    const double dotsPerMm = device.logicalDpiX() / 25.4;
    for (qsizetype i = 0; i < pages.size(); ++i) {
        if (i > 0 && !device.newPage())
            throw AppError(QStringLiteral("The report cannot be printed on this device"));
        paintPage(painter, pages.at(i), dotsPerMm);
    }
    if (!painter.end())
        throw AppError(QStringLiteral("The report cannot be printed on this device"));
}

void writePdf(QIODevice& out, const Report::Definition& definition, const QList<Report::Page>& pages)
{
    QPdfWriter writer(&out);
    writer.setTitle(definition.name);
    writer.setCreator(QStringLiteral("QuorvelServer"));
    writer.setResolution(1200);
    const bool landscape = definition.pageSize.width() > definition.pageSize.height();
    const QSizeF portrait = landscape ? definition.pageSize.transposed() : definition.pageSize;
    writer.setPageLayout(QPageLayout(QPageSize(portrait, QPageSize::Millimeter, QString(), QPageSize::FuzzyMatch),
                                     landscape ? QPageLayout::Landscape : QPageLayout::Portrait, QMarginsF()));
    if (pages.isEmpty()) {
        QPainter blank(&writer);
    } else {
        paintPages(writer, pages);
    }
}

void writePdf(const QString& fileName, const Report::Definition& definition, const QList<Report::Page>& pages)
{
    QFile file(fileName);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        throw AppError(
            QStringLiteral("Cannot create file \"%1\". %2").arg(QFileInfo(fileName).absoluteFilePath(), file.errorString()));
    writePdf(file, definition, pages);
    file.close();
    if (file.error() != QFileDevice::NoError)
        throw AppError(
            QStringLiteral("Cannot create file \"%1\". %2").arg(QFileInfo(fileName).absoluteFilePath(), file.errorString()));
}

} // namespace ReportPainter
