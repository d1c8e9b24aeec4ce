#include "cards/ui/CardReportForm.h"

#include "cards/CardReport.h"
#include "cards/CardTable.h"
#include "install/Audit.h"
#include "install/Tables.h"
#include "platform/report/ReportPainter.h"
#include "platform/store/TableStore.h"
#include "platform/ui/MessageBoxes.h"
#include "platform/ui/ReportPreview.h"

#include <QPrinter>

#include <memory>

CardReportForm::CardReportForm(QWidget* parent)
    : QWidget(parent)
    , m_customer(new TableStore(this))
{
    setObjectName(QStringLiteral("Form3"));
    m_customer->setObjectName(QStringLiteral("Customer"));
    m_customer->setDirectory(Tables::mainCards().directory);
    m_customer->setTableName(Tables::mainCards().fileName);
    m_customer->setIndexFieldNames(Tables::CardField::Auto);
    m_customer->setReadOnly(true);
    Cards::needCardFields(*m_customer);
}

CardReportForm::~CardReportForm() = default;

void CardReportForm::openCustomer()
{
    m_customer->OpenTable();
}

QList<Report::Page> CardReportForm::layOut()
{
    Report::CursorDataSet<TableStore> cards(*m_customer);
    return CardReport::layOut(cards);
}

void CardReportForm::preview(QWidget* parent)
{
    const QList<Report::Page> pages = layOut();
    ReportPreview::exec(CardReport::definition(), pages, parent, [&pages](QPrinter& printer) {
        qsizetype cards = 0;
        for (const Report::Page& page : pages)
            cards += page.bandsOf(Report::BandKind::Detail).size();
        Audit::Event printed;
        printed.event = Audit::Events::CardReport;
        printed.newValue = QString::number(cards);
        printed.text = QStringLiteral("%1 cards on %2 pages to %3")
                           .arg(cards)
                           .arg(pages.size())
                           .arg(printer.outputFileName().isEmpty() ? printer.printerName() : printer.outputFileName());
        if (const std::optional<QString> problem = Audit::record(printed))
            MessageBoxes::showError(*problem);
    });
}

void CardReportForm::writePdf(const QString& fileName)
{
    ReportPainter::writePdf(fileName, CardReport::definition(), layOut());
}

void printCardReport(QWidget* parent)
{
    const auto form = std::make_unique<CardReportForm>();
    form->openCustomer();
    form->preview(parent);
}

int writeCardReportPdf(const QString& fileName)
{
    const auto form = std::make_unique<CardReportForm>();
    form->openCustomer();
    const QList<Report::Page> pages = form->layOut();
    ReportPainter::writePdf(fileName, CardReport::definition(), pages);
    return int(pages.size());
}
