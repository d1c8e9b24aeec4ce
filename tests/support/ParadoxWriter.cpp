#include "support/ParadoxWriter.h"

#include "platform/CodePage.h"

#include <QFile>
#include <cstdio>
#include <cstring>
// pxlib's header declares C functions without saying so.
extern "C" {
#include <paradox.h>
}

namespace ParadoxWriter {

Table ledgerDays()
{
    Table t;
    t.fields = {{"DateDay", pxfAlpha, 15}, {"SumDay", pxfNumber, 8}};
    t.keyFields = 1;
    return t;
}

Table ledgerEntries()
{
    Table t;
    t.fields = {{"Auto", pxfAutoInc, 4},        {"DateDay2", pxfAlpha, 15},      {"StartOperation", pxfAlpha, 15},
                {"TimeOperation", pxfShort, 2}, {"KandOperation", pxfAlpha, 15}, {"Cost", pxfNumber, 8},
                {"Computer", pxfAlpha, 35}};
    return t;
}

Table cards()
{
    Table t;
    t.fields = {{"Auto", pxfAutoInc, 4},    {"Num", pxfAlpha, 20},  {"Time1", pxfShort, 2},         {"Used", pxfAlpha, 15},
                {"ReminTime", pxfShort, 2}, {"Cost", pxfNumber, 8}, {"UseFirstTime", pxfAlpha, 20}, {"Kind", pxfAlpha, 10}};
    t.keyFields = 1;
    return t;
}

namespace {

void patch(const QString& path, int at, quint32 value, int width)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadWrite) || !file.seek(at))
        qFatal("cannot patch %s", qPrintable(path));
    QByteArray bytes;
    for (int i = 0; i < width; ++i)
        bytes.append(char((value >> (8 * i)) & 0xff));
    file.write(bytes);
}

} // namespace

void write(const QString& path, const Table& table)
{
    QFile::remove(path);
    pxdoc_t* doc = PX_new();
    const int count = int(table.fields.size());
    // pxlib frees the field list and names with the document, so they come from its allocator.
    auto* fields = static_cast<pxfield_t*>(doc->malloc(doc, sizeof(pxfield_t) * count, "fields"));
    int recordSize = 0;
    for (int i = 0; i < count; ++i) {
        fields[i].px_fname = PX_strdup(doc, table.fields[i].name.constData());
        fields[i].px_ftype = char(table.fields[i].type);
        fields[i].px_flen = table.fields[i].size;
        fields[i].px_fdc = 0;
        recordSize += table.fields[i].size;
    }
    FILE* fp = std::fopen(QFile::encodeName(path).constData(), "w+");
    if (!fp || PX_create_fp(doc, fields, count, fp, pxfFileTypNonIndexDB) < 0)
        qFatal("pxlib cannot create %s", qPrintable(path));
    PX_set_tablename(doc, "TABLE");
    if (table.keyFields > 0)
        PX_set_value(doc, "numprimkeys", float(table.keyFields));

    qint64 highest = 0;
    QByteArray record(recordSize, '\0');
    for (const QList<QVariant>& row : table.rows) {
        record.fill('\0');
        char* at = record.data();
        for (int i = 0; i < count; ++i) {
            const Field& f = table.fields[i];
            const QVariant& v = row.value(i);
            if (!v.isNull()) {
                switch (f.type) {
                case pxfAlpha: {
                    QByteArray bytes = CodePage::fromUnicode(v.toString());
                    PX_put_data_alpha(doc, at, f.size, bytes.data());
                    break;
                }
                case pxfShort:
                    PX_put_data_short(doc, at, f.size, short(v.toInt()));
                    break;
                case pxfLong:
                case pxfAutoInc:
                    PX_put_data_long(doc, at, f.size, int(v.toLongLong()));
                    break;
                default:
                    PX_put_data_double(doc, at, f.size, v.toDouble());
                    break;
                }
                if (i == 0 && f.type == pxfAutoInc)
                    highest = std::max(highest, v.toLongLong());
            }
            at += f.size;
        }
        if (PX_put_record(doc, record.data()) < 0)
            qFatal("pxlib cannot write a record into %s", qPrintable(path));
    }
    PX_close(doc);
    PX_delete(doc);
    std::fclose(fp);

    patch(path, 0x6A, quint32(table.codePage), 2);
    patch(path, 0x49, quint32(table.autoIncrement < 0 ? highest : table.autoIncrement), 4);
}

} // namespace ParadoxWriter
