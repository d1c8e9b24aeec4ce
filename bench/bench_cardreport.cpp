// Lays out and writes the card report for a table of N cards, and reports how long each step took.
//   bench_cardreport [cards=1000] [output.pdf]
// Without an output file the PDF goes to a temporary file that is removed afterwards.
#include "cards/CardReport.h"
#include "platform/ReportPainter.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QGuiApplication>
#include <QTemporaryDir>
#include <cstdio>

namespace {

QList<QStringList> cards(int count)
{
    static const char Letters[] = "QWERTYUIOPASDFGHJKLZXCVBNM";
    const int minutes[] = {15, 30, 60, 120};
    QList<QStringList> rows;
    for (int i = 1; i <= count; ++i) {
        const int category = i % 4;
        const bool games = i % 3 != 0;
        const QString num = QString::number(i) + QChar(Letters[i % 26]) + QChar(Letters[(i * 7) % 26])
                            + QString::number((i * 7919) % 10000) + QChar(Letters[(i * 3) % 26])
                            + QString::number(category + 1) + (games ? u'G' : u'I');
        const QString m = QString::number(minutes[category]);
        rows.append({QString::number(i), num, m, QStringLiteral("غير مستخدم"), m, QString::number(minutes[category] * 0.5), QString(),
                     games ? QStringLiteral("ألعاب") : QStringLiteral("أنترنيت")});
    }
    return rows;
}

} // namespace

int main(int argc, char** argv)
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const int count = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 1000;
    QTemporaryDir dir;
    const QString out = argc > 2 ? QString::fromLocal8Bit(argv[2]) : dir.filePath(QStringLiteral("cards.pdf"));

    Report::RowsDataSet data(CardReport::fieldNames(), cards(count));
    QElapsedTimer timer;
    timer.start();
    const QList<Report::Page> pages = CardReport::layOut(data);
    const qint64 layoutMs = timer.restart();
    ReportPainter::writePdf(out, CardReport::definition(), pages);
    const qint64 pdfMs = timer.elapsed();
    std::printf("%d cards, %lld pages: layout %lld ms, PDF %lld ms (%lld bytes)\n", count, qint64(pages.size()),
                layoutMs, pdfMs, QFileInfo(out).size());
    return 0;
}
