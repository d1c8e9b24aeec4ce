// Any bytes as a command or settings file: writing one line changes that line only; every other
// line keeps its bytes, and the text keeps its line breaks (made CR LF) and whether it ends with
// one. A write past the end changes nothing.
//
// Input: two bytes choosing the line (may lie beyond the end), the value's length byte, the
// value (UTF-8, so characters outside the code page reach the writer), then the file's bytes.

#include "FuzzCommon.h"

#include "platform/CodePage.h"
#include "platform/files/LineBuffer.h"

namespace {

// The lines as the file has them, split at CR LF, lone CR and lone LF.
QList<QByteArray> splitLines(const QByteArray& text)
{
    QList<QByteArray> lines{QByteArray()};
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char c = text.at(i);
        if (c == '\r' || c == '\n') {
            lines.append(QByteArray());
            if (c == '\r' && i + 1 < text.size() && text.at(i + 1) == '\n')
                ++i;
        } else {
            lines.last().append(c);
        }
    }
    return lines;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 3)
        return 0;
    const qsizetype index = qsizetype(data[0]) | qsizetype(data[1]) << 8;
    const size_t valueLength = std::min<size_t>(data[2], size - 3);
    const QString value = QString::fromUtf8(reinterpret_cast<const char*>(data + 3), qsizetype(valueLength));
    const QByteArray file(reinterpret_cast<const char*>(data + 3 + valueLength), qsizetype(size - 3 - valueLength));

    const QList<QByteArray> before = splitLines(file);
    LineBuffer buffer(file);
    FUZZ_CHECK(buffer.lineCount() == before.size());
    FUZZ_CHECK(buffer.text() == before.join("\r\n"));
    for (qsizetype i = 0; i < before.size(); ++i)
        FUZZ_CHECK(buffer.line(i) == CodePage::toUnicode(before.at(i).left(LineBuffer::MaxLineLength)));

    const QByteArray unchanged = buffer.text();
    buffer.setLine(index, value);
    const QList<QByteArray> after = splitLines(buffer.text());
    if (index >= before.size()) {
        FUZZ_CHECK(buffer.text() == unchanged);
        FUZZ_CHECK(buffer.line(index).isEmpty());
        return 0;
    }
    FUZZ_CHECK(after.size() == before.size());
    for (qsizetype i = 0; i < before.size(); ++i) {
        if (i != index)
            FUZZ_CHECK(after.at(i) == before.at(i));
    }
    const QByteArray written = after.at(index);
    FUZZ_CHECK(!written.contains('\r') && !written.contains('\n'));
    // What the code page can hold reads back as written, breaks turned into blanks.
    QString expected = CodePage::toUnicode(CodePage::fromUnicode(value));
    expected.replace(QLatin1Char('\r'), QLatin1Char(' ')).replace(QLatin1Char('\n'), QLatin1Char(' '));
    FUZZ_CHECK(buffer.line(index) == expected.left(LineBuffer::MaxLineLength));
    return 0;
}
