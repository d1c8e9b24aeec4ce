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

} // namespace Csv
