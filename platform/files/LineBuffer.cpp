#include "platform/files/LineBuffer.h"

#include "platform/CodePage.h"
#include "platform/files/WinFile.h"

LineBuffer::LineBuffer()
    : m_lines{QByteArray()}
{
}

LineBuffer::LineBuffer(const QByteArray& text)
{
    setText(text);
}

void LineBuffer::setText(const QByteArray& text)
{
    QList<QByteArray> lines;
    QByteArray current;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char c = text.at(i);
        if (c == '\r' || c == '\n') {
            lines.append(current);
            current.clear();
            if (c == '\r' && i + 1 < text.size() && text.at(i + 1) == '\n')
                ++i;
        } else {
            current.append(c);
        }
    }
    lines.append(current);
    m_lines = std::move(lines);
}

QByteArray LineBuffer::text() const
{
    return m_lines.join("\r\n");
}

QString LineBuffer::line(qsizetype index) const
{
    if (index < 0 || index >= m_lines.size())
        return {};
    return CodePage::toUnicode(m_lines.at(index).left(MaxLineLength));
}

void LineBuffer::setLine(qsizetype index, const QString& value)
{
    if (index < 0 || index >= m_lines.size())
        return;
    // A value cannot carry a line break into the file: it would split the line.
    QByteArray bytes = CodePage::fromUnicode(value);
    bytes.replace('\r', ' ').replace('\n', ' ');
    m_lines[index] = bytes;
}

void LineBuffer::growTo(qsizetype count)
{
    while (m_lines.size() < count)
        m_lines.append(QByteArray());
}

void LineBuffer::load(const QString& windowsPath)
{
    setText(WinFile::read(windowsPath));
}

void LineBuffer::save(const QString& windowsPath) const
{
    WinFile::write(windowsPath, text());
}
