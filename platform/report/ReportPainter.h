#pragma once

#include "platform/report/ReportEngine.h"

#include <QFont>
#include <QList>

class QIODevice;
class QPainter;
class QPagedPaintDevice;

// Paints laid-out report pages. The same code serves the printer, the preview and PDF files.
namespace ReportPainter {

// The font of a style. Arial is asked for first, then a face with the same metrics, then faces
// that carry the Arabic letters the first ones may lack.
QFont fontFor(const Report::TextStyle& style);

// One page; the painter's origin must be the paper's top-left corner and dotsPerMm its scale.
void paintPage(QPainter& painter, const Report::Page& page, double dotsPerMm);

// The pages one after another on a device whose painting origin is the paper's corner (a
// QPrinter in full-page mode, a PDF writer without margins). Nothing is begun for no pages, so an
// empty report leaves the device untouched. Throws AppError when the device cannot be painted.
void paintPages(QPagedPaintDevice& device, const QList<Report::Page>& pages);

// The pages as a PDF file of the definition's paper size. Throws AppError when the file cannot
// be written. An empty report still writes a valid file: one blank page, since a PDF cannot have
// none.
void writePdf(const QString& fileName, const Report::Definition& definition, const QList<Report::Page>& pages);
// The same PDF onto an open device.
void writePdf(QIODevice& out, const Report::Definition& definition, const QList<Report::Page>& pages);

} // namespace ReportPainter
