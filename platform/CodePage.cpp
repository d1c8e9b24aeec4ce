#include "platform/CodePage.h"

#include <array>

#include <QStringDecoder>
#include <QStringEncoder>

namespace CodePage {

namespace {

constexpr const char* kName = "windows-1256";

// The code page maps every byte to one character, so a text is decoded through a table made once
// rather than a converter made per text.
const std::array<QChar, 256>& characters()
{
    static const std::array<QChar, 256> table = [] {
        std::array<QChar, 256> chars{};
        for (int b = 1; b < 256; ++b) {
            QStringDecoder decoder(kName);
            const QString one = decoder.decode(QByteArray(1, char(b)));
            chars[b] = one.size() == 1 ? one.at(0) : QChar(QChar::ReplacementCharacter);
        }
        return chars;
    }();
    return table;
}

} // namespace

QString toUnicode(const char* bytes, qsizetype length)
{
    const auto& chars = characters();
    QString text(length, Qt::Uninitialized);
    QChar* out = text.data();
    for (qsizetype i = 0; i < length; ++i)
        out[i] = chars[quint8(bytes[i])];
    return text;
}

QString toUnicode(const QByteArray& bytes)
{
    return toUnicode(bytes.constData(), bytes.size());
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

QString truncated(const QString& text, qsizetype maxBytes)
{
    const QByteArray bytes = fromUnicode(text);
    if (bytes.size() <= maxBytes)
        return text;
    return toUnicode(bytes.left(maxBytes));
}

std::optional<QString> converterProblem(const char* name)
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
            return std::nullopt;
    }
    return QStringLiteral("The Windows Arabic code page converter (%1) is not available on this computer, so texts in "
                          "files and tables cannot be read or written. The program stops.")
        .arg(QLatin1String(name));
}

} // namespace CodePage
