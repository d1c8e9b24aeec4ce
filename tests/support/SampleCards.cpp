#include "support/SampleCards.h"

#include "cards/CardReport.h"
#include "install/Tables.h"
#include "platform/store/Sqlite.h"

#include <QFile>
#include <QProcess>
#include <QRegularExpression>

QList<QStringList> sampleCardRows(int count)
{
    static const char Letters[] = "QWERTYUIOPASDFGHJKLZXCVBNM";
    const int minutes[] = {15, 30, 60, 120};
    QList<QStringList> rows;
    for (int i = 1; i <= count; ++i) {
        const int category = i % 4;
        const bool games = i % 3 != 0;
        const QString num = QString::number(i) + QChar(Letters[i % 26]) + QChar(Letters[(i * 7) % 26])
            + QString::number((i * 7919) % 10000) + QChar(Letters[(i * 3) % 26]) + QString::number(category + 1)
            + (games ? u'G' : u'I');
        const QString m = QString::number(minutes[category]);
        rows.append({QString::number(i), num, m, QStringLiteral("غير مستخدم"), m, QString::number(minutes[category] * 0.5),
                     QString(), games ? QStringLiteral("ألعاب") : QStringLiteral("أنترنيت")});
    }
    return rows;
}

void appendCards(const QString& tableFile, int rows)
{
    Sqlite::Connection db = Sqlite::open(tableFile, SQLITE_OPEN_READWRITE);
    Sqlite::exec(db.get(), QStringLiteral("BEGIN"));
    Sqlite::Statement insert(db.get(),
                             QStringLiteral("INSERT INTO Card (Num, Time1, Used, ReminTime, Cost, Kind) "
                                            "VALUES (?, 15, 'u', 15, 7.5, 'k')"));
    for (int i = 0; i < rows; ++i) {
        Sqlite::Use use(insert);
        insert.bind(1, QStringLiteral("%1AB1234C4G").arg(i + 1));
        insert.step();
    }
    Sqlite::exec(db.get(), QStringLiteral("COMMIT"));
}

Report::RowsDataSet sampleCards(int count)
{
    return Report::RowsDataSet(Tables::mainCards().fieldNames(), sampleCardRows(count));
}

int pdfPageCount(const QString& fileName)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray bytes = file.readAll();
    if (!bytes.startsWith("%PDF-"))
        return -1;
    static const QRegularExpression page(QStringLiteral("/Type\\s*/Page(?![a-zA-Z])"));
    return int(QString::fromLatin1(bytes).count(page));
}

QString pdfText(const QString& fileName)
{
    QProcess tool;
    tool.start(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), fileName, QStringLiteral("-")});
    if (!tool.waitForFinished(30000) || tool.exitCode() != 0)
        return {};
    // The tool marks right-to-left runs with directional formatting characters; they are no text.
    static const QRegularExpression marks(QStringLiteral("[\\x{200E}\\x{200F}\\x{202A}-\\x{202E}\\x{2066}-\\x{2069}]"));
    return QString::fromUtf8(tool.readAllStandardOutput()).remove(marks);
}
