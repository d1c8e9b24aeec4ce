#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

// Texts in files and tables are single-byte text in the Windows Arabic code page (cp1256).
// Every byte value maps to a character, so decoding and encoding round-trip exactly.
namespace CodePage {

QString toUnicode(const QByteArray& bytes);
QString toUnicode(const char* bytes, qsizetype length);
// Characters that the code page cannot hold become '?'.
QByteArray fromUnicode(const QString& text);
// The longest prefix of the text that fits in maxBytes code-page bytes.
QString truncated(const QString& text, qsizetype maxBytes);

// Checked once at start: nothing when the named converter exists and carries every byte value to a
// character and back; otherwise the message to stop with, since without it every line would read
// as empty and every write as "?".
std::optional<QString> converterProblem(const char* name = "windows-1256");

} // namespace CodePage
