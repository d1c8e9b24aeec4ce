#include "platform/ui/ReportPreview.h"

#include "platform/report/ReportPainter.h"
#include "platform/ui/Guard.h"

#include <QEventLoop>
#include <QPageLayout>
#include <QPageSize>
#include <QPaintEngine>
#include <QPointer>
#include <QPrintPreviewDialog>
#include <QPrinter>

namespace ReportPreview {

namespace {

QPrinter::PaperSource paperSourceOf(int bin)
{
    switch (bin) {
    case 1:
        return QPrinter::Upper;
    case 2:
        return QPrinter::Lower;
    case 3:
        return QPrinter::Middle;
    default:
        return QPrinter::Auto;
    }
}

// The preview collects its pages through a picture-recording engine that stands in for the
// printer's own; only then are all pages wanted, whatever range the printer holds.
bool isPreviewPass(QPrinter& printer)
{
    const QPaintEngine* engine = printer.paintEngine();
    return engine && engine->type() == QPaintEngine::Picture;
}

} // namespace

void setUpPrinter(QPrinter& printer, const Report::Definition& definition)
{
    const QSizeF size = definition.pageSize;
    const bool landscape = size.width() > size.height();
    printer.setPageSize(QPageSize(landscape ? size.transposed() : size, QPageSize::Millimeter, QString(), QPageSize::FuzzyMatch));
    printer.setPageOrientation(landscape ? QPageLayout::Landscape : QPageLayout::Portrait);
    // The layout places everything from the paper's corner, margins included.
    printer.setFullPage(true);
    printer.setDocName(definition.name);

    const Report::PrinterSettings& stored = definition.printer;
    printer.setCopyCount(stored.copies);
    printer.setDuplex(stored.duplex ? QPrinter::DuplexAuto : QPrinter::DuplexNone);
    printer.setPaperSource(paperSourceOf(stored.paperBin));
    if (stored.fromPage > 0 && stored.toPage >= stored.fromPage) {
        printer.setPrintRange(QPrinter::PageRange);
        printer.setFromTo(stored.fromPage, stored.toPage);
    } else {
        printer.setPrintRange(QPrinter::AllPages);
    }
}

void paint(QPrinter& printer, const QList<Report::Page>& pages)
{
    QList<Report::Page> wanted = pages;
    if (!isPreviewPass(printer) && printer.printRange() == QPrinter::PageRange) {
        const QPageRanges ranges = printer.pageRanges();
        wanted.removeIf([&](const Report::Page& page) { return !ranges.contains(page.number); });
    }
    ReportPainter::paintPages(printer, wanted);
}

void exec(const Report::Definition& definition, const QList<Report::Page>& pages, QWidget* parent,
          const std::function<void(QPrinter& printer)>& printed)
{
    QPrinter printer(QPrinter::HighResolution);
    setUpPrinter(printer, definition);

    QPointer<QPrintPreviewDialog> dialog = new QPrintPreviewDialog(&printer, parent);
    dialog->setObjectName(QStringLiteral("ReportPreview"));
    dialog->setWindowModality(Qt::NonModal);
    QObject::connect(dialog, &QPrintPreviewDialog::paintRequested, dialog, [&pages, &printed](QPrinter* target) {
        // A printer that cannot be painted is reported here.
        Guard::run([&] {
            const bool forReal = !isPreviewPass(*target);
            paint(*target, pages);
            if (forReal && printed)
                printed(*target);
        });
    });

    QEventLoop loop;
    QObject::connect(dialog, &QDialog::finished, &loop, &QEventLoop::quit);
    // A parent that goes away takes the window with it; the wait must end then too.
    QObject::connect(dialog, &QObject::destroyed, &loop, &QEventLoop::quit);
    dialog->show();
    if (dialog && dialog->isVisible())
        loop.exec();
    delete dialog.data();
}

} // namespace ReportPreview
