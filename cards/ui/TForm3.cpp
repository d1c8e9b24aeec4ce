#include "cards/ui/TForm3.h"

#include "cards/CardReport.h"
#include "cards/CardTable.h"
#include "install/Tables.h"
#include "platform/report/ReportPainter.h"
#include "platform/store/TableStore.h"
#include "platform/ui/ReportPreview.h"

#include <memory>

TForm3::TForm3(QWidget* parent)
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

TForm3::~TForm3() = default;

void TForm3::openCustomer()
{
    m_customer->OpenTable();
}

QList<Report::Page> TForm3::layOut()
{
    Report::CursorDataSet<TableStore> cards(*m_customer);
    return CardReport::layOut(cards);
}

void TForm3::preview(QWidget* parent)
{
    ReportPreview::exec(CardReport::definition(), layOut(), parent);
}

void TForm3::writePdf(const QString& fileName)
{
    ReportPainter::writePdf(fileName, CardReport::definition(), layOut());
}

void printCardReport(QWidget* parent)
{
    const auto form = std::make_unique<TForm3>();
    form->openCustomer();
    form->preview(parent);
}

int writeCardReportPdf(const QString& fileName)
{
    const auto form = std::make_unique<TForm3>();
    form->openCustomer();
    const QList<Report::Page> pages = form->layOut();
    ReportPainter::writePdf(fileName, CardReport::definition(), pages);
    return int(pages.size());
}
