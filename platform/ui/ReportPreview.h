#pragma once

#include "platform/report/ReportEngine.h"

#include <QList>
#include <functional>

class QPrinter;
class QWidget;

// The report engine's preview window and printing: the operator pages, zooms, sets the printer
// up and prints from the preview; printing (to paper or to the print dialog's PDF file) goes
// through the same painter as the engine's own PDF output.
namespace ReportPreview {

// Sets a printer up as the report stores it: its paper, painting from the paper's corner, and
// the stored copies, duplex, paper bin and page range.
void setUpPrinter(QPrinter& printer, const Report::Definition& definition);

// Paints one pass over the printer: every page while the preview draws its pages, the pages in
// the printer's range when it prints for real.
void paint(QPrinter& printer, const QList<Report::Page>& pages);

// Shows the pages in a preview window and returns when the operator has closed it. Events go on
// being processed meanwhile and the window does not block the others, so the operator can keep
// working, and open a second preview beside the first. printed, when given, is called after each
// pass that printed for real (to paper or a file), not for the preview's own passes.
void exec(const Report::Definition& definition, const QList<Report::Page>& pages, QWidget* parent,
          const std::function<void(QPrinter& printer)>& printed = {});

} // namespace ReportPreview
