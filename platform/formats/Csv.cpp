#include "platform/formats/Csv.h"

namespace Csv {

QByteArray byteOrderMark()
{
    return QByteArrayLiteral("\xEF\xBB\xBF");
}

QByteArray record(const QStringList& fields)
{
    QByteArray line;
    for (qsizetype i = 0; i < fields.size(); ++i) {
        if (i > 0)
            line += ',';
        const QByteArray field = fields.at(i).toUtf8();
        const bool quote = field.contains(',') || field.contains('"') || field.contains('\r') || field.contains('\n')
            || field.startsWith(' ') || field.endsWith(' ');
        if (!quote) {
            line += field;
            continue;
        }
        line += '"';
        for (const char c : field) {
            if (c == '"')
                line += '"';
            line += c;
        }
        line += '"';
    }
    line += "\r\n";
    return line;
}

QString safeCell(const QString& text)
{
    // Such values reach the tables through imports and station names; a spreadsheet would run them.
    static const QString formulaStarts = QStringLiteral("=+-@\t\r");
    if (!text.isEmpty() && formulaStarts.contains(text.at(0)))
        return QLatin1Char('\'') + text;
    return text;
}

} // namespace Csv
