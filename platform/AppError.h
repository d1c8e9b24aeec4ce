#pragma once

#include <QByteArray>
#include <QString>
#include <exception>

// The one error type of the system. Handlers catch it (or let it reach the application's
// error box); its text is what the operator reads.
class AppError : public std::exception
{
public:
    explicit AppError(const QString& text)
        : m_text(text)
        , m_utf8(text.toUtf8())
    {
    }

    const QString& text() const noexcept { return m_text; }
    const char* what() const noexcept override { return m_utf8.constData(); }

private:
    QString m_text;
    QByteArray m_utf8;
};
