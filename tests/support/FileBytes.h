#pragma once

#include <QByteArray>
#include <QFile>
#include <QFileInfo>
#include <QString>

// Whole files as bytes, for tests that compare or damage them.
namespace FileBytes {

inline QByteArray read(const QString& path)
{
    // Opening a pipe would wait for a writer.
    if (QFileInfo::exists(path) && !QFileInfo(path).isFile())
        return QByteArray("<not a file>");
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

inline void write(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(path));
}

} // namespace FileBytes
