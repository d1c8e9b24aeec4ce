#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

// A text file held as an ordered list of lines. Every text file of the system goes through one.
//
// - Loading normalises every line break (CR LF, lone CR, lone LF) to CR LF.
// - An empty text is one empty line; a text that ends with a line break has one more, empty,
//   final line.
// - Reading a line gives at most its first 4096 characters; a line at or beyond the end reads
//   as an empty text.
// - Writing a line at or beyond the end changes nothing: the buffer never grows by a write.
// - Saving writes the lines joined by CR LF, so the text keeps a final line break exactly when
//   it had one.
//
// Lines are kept as the file's bytes (single-byte Arabic code page), so whatever the console does
// not rewrite is saved back byte for byte.
class LineBuffer
{
public:
    static constexpr qsizetype MaxLineLength = 4096;

    LineBuffer();
    explicit LineBuffer(const QByteArray& text);

    // Replaces the content with the whole file; on failure (AppError) the buffer is unchanged.
    void load(const QString& windowsPath);
    // Writes the whole text into the file; throws AppError on failure.
    void save(const QString& windowsPath) const;

    void setText(const QByteArray& text);
    QByteArray text() const;

    qsizetype lineCount() const { return m_lines.size(); }
    QString line(qsizetype index) const;
    void setLine(qsizetype index, const QString& value);
    // Adds empty lines at the end until the buffer holds at least count lines; for writers whose
    // file must have a line, since a write never adds one.
    void growTo(qsizetype count);

private:
    QList<QByteArray> m_lines;
};
