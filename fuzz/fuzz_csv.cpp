// Any field texts written as a CSV record read back, through an RFC 4180 reader, as the same
// fields. The first byte separates the fields in the rest of the input; each field is decoded from
// the Arabic code page or, by the first byte's top bit, from UTF-8 (which lets bytes that are not
// valid text through as replacement characters).

#include "FuzzCommon.h"

#include "platform/CodePage.h"
#include "platform/formats/Csv.h"

namespace {

// A strict RFC 4180 reader of one record ended by CR LF; nothing may follow it.
QStringList readRecord(const QByteArray& bytes)
{
    QList<QByteArray> fields{QByteArray()};
    qsizetype i = 0;
    bool atFieldStart = true;
    for (;;) {
        FUZZ_CHECK(i < bytes.size());
        const char c = bytes.at(i);
        if (atFieldStart && c == '"') {
            ++i;
            for (;;) {
                FUZZ_CHECK(i < bytes.size());
                if (bytes.at(i) == '"') {
                    if (i + 1 < bytes.size() && bytes.at(i + 1) == '"') {
                        fields.last() += '"';
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                fields.last() += bytes.at(i++);
            }
            atFieldStart = false;
            FUZZ_CHECK(i < bytes.size() && (bytes.at(i) == ',' || bytes.at(i) == '\r'));
            continue;
        }
        if (c == ',') {
            fields.append(QByteArray());
            atFieldStart = true;
            ++i;
        } else if (c == '\r') {
            FUZZ_CHECK(i + 2 == bytes.size() && bytes.at(i + 1) == '\n');
            break;
        } else {
            // An unquoted field holds no quote and no line break.
            FUZZ_CHECK(c != '"' && c != '\n');
            fields.last() += c;
            atFieldStart = false;
            ++i;
        }
    }
    QStringList texts;
    for (const QByteArray& f : fields)
        texts.append(QString::fromUtf8(f));
    return texts;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    const char separator = char(data[0] & 0x7f);
    const bool utf8 = data[0] & 0x80;
    QStringList fields;
    for (const QByteArray& raw : QByteArray(reinterpret_cast<const char*>(data + 1), qsizetype(size - 1)).split(separator))
        fields.append(utf8 ? QString::fromUtf8(raw) : CodePage::toUnicode(raw));
    const QByteArray record = Csv::record(fields);
    FUZZ_CHECK(readRecord(record) == fields);
    return 0;
}
