#include "cards/ui/CardReportForm.h"

#include "cards/CardReport.h"
#include "cards/CardTable.h"
#include "install/Tables.h"
#include "platform/report/ReportPainter.h"
#include "platform/store/TableStore.h"
#include "platform/ui/ReportPreview.h"

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
    ReportPreview::exec(CardReport::definition(), layOut(), parent);
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
