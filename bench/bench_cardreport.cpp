// Lays out and writes the card report for a table of N cards, and reports how long each step took.
//   bench_cardreport [cards=1000] [output.pdf]
// Without an output file the PDF goes to a temporary file that is removed afterwards.
#include "cards/CardReport.h"
#include "platform/report/ReportPainter.h"
#include "support/SampleCards.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QGuiApplication>
#include <QTemporaryDir>
#include <cstdio>

int main(int argc, char** argv)
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const int count = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 1000;
    QTemporaryDir dir;
    const QString out = argc > 2 ? QString::fromLocal8Bit(argv[2]) : dir.filePath(QStringLiteral("cards.pdf"));

    Report::RowsDataSet data = sampleCards(count);
    QElapsedTimer timer;
    timer.start();
    const QList<Report::Page> pages = CardReport::layOut(data);
    const qint64 layoutMs = timer.restart();
    ReportPainter::writePdf(out, CardReport::definition(), pages);
    const qint64 pdfMs = timer.elapsed();
    std::printf("%d cards, %lld pages: layout %lld ms, PDF %lld ms (%lld bytes)\n", count, qint64(pages.size()), layoutMs, pdfMs,
                QFileInfo(out).size());
    return 0;
}
