#include "platform/CodePage.h"

#include <QStringDecoder>
#include <QStringEncoder>

namespace CodePage {

namespace {
constexpr const char* kName = "windows-1256";
}

QString toUnicode(const QByteArray& bytes)
{
    QStringDecoder decoder(kName);
    return decoder.decode(bytes);
}

QByteArray fromUnicode(const QString& text)
{
    QStringEncoder encoder(kName, QStringConverter::Flag::Default);
    QByteArray bytes = encoder.encode(text);
    if (!encoder.hasError())
        return bytes;
    // Encode character by character so that only the unrepresentable ones are replaced.
    QByteArray out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        qsizetype len = (text.at(i).isHighSurrogate() && i + 1 < text.size()) ? 2 : 1;
        QStringEncoder one(kName);
        QByteArray b = one.encode(text.mid(i, len));
        out += (one.hasError() || b.isEmpty()) ? QByteArray("?") : b;
        i += len - 1;
    }
    return out;
}

qsizetype byteLength(const QString& text)
{
    return fromUnicode(text).size();
}

QString truncated(const QString& text, qsizetype maxBytes)
{
    const QByteArray bytes = fromUnicode(text);
    if (bytes.size() <= maxBytes)
        return text;
    return toUnicode(bytes.left(maxBytes));
}

QString converterProblem(const char* name)
{
    QByteArray everyByte(256, Qt::Uninitialized);
    for (int b = 0; b < 256; ++b)
        everyByte[b] = char(b);
    QStringDecoder decoder(name);
    QStringEncoder encoder(name);
    if (decoder.isValid() && encoder.isValid()) {
        const QString text = decoder.decode(everyByte);
        const QByteArray back = encoder.encode(text);
        if (!decoder.hasError() && !encoder.hasError() && text.size() == 256 && back == everyByte)
            return {};
    }
    return QStringLiteral("The Windows Arabic code page converter (%1) is not available on this computer, so texts in "
                          "files and tables cannot be read or written. The program stops.")
        .arg(QLatin1String(name));
}

} // namespace CodePage
