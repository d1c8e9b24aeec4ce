#pragma once

#include "platform/report/ReportEngine.h"

#include <QList>
#include <QWidget>

class TableStore;

// Hosts the printed card report and its table. Never shown: each print command makes its own
// instance and releases it when the preview closes.
class CardReportForm final : public QWidget
{
    Q_OBJECT
public:
    explicit CardReportForm(QWidget* parent = nullptr);
    ~CardReportForm() override;

    // The report's table: the main card table, read-only, in serial order. It is its own table,
    // whatever table the card creator's grid shows.
    TableStore* Customer() const { return m_customer; }

    // Opens Customer. Throws AppError with the store's text when the table cannot be opened.
    void openCustomer();

    // The cards of Customer laid out as the report prints them, with today's date in the footer.
    QList<Report::Page> layOut();
    // The report in the preview window; returns when the operator has closed it.
    void preview(QWidget* parent);
    // The report as a PDF file. Throws AppError.
    void writePdf(const QString& fileName);

private:
    TableStore* m_customer;
};

// The card creator's print command: a new report window over the main card table, its preview
// until the operator closes it, then the window is released. A missing main card table throws
// the store's error before any preview appears.
void printCardReport(QWidget* parent);

// The same report of the main card table written to a PDF file; returns the number of pages.
// Throws AppError.
int writeCardReportPdf(const QString& fileName);
