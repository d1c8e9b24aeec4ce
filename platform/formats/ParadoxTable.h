#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QVariant>
#include <memory>

// Reads an old Paradox data table (.DB) through pxlib, for bringing a café's old data over.
//
// pxlib trusts the file: it follows block numbers and sizes as the header states them and does
// not notice a short read. So the whole file is read into memory first (at most MaxFileBytes),
// its header, field list and chain of data blocks are checked against each other and against the
// file's size, and only then does pxlib see it, through a stream over that memory that cannot
// reach beyond it. A file that fails a check is refused with the reason; nothing is ever written.
//
// pxlib reads the header and field list and decodes every value. Records are taken from the
// checked chain of blocks rather than through pxlib's record lookup, which walks its list of
// blocks from the first for every record and so makes reading a large table quadratic.
//
// Values: text is decoded from the Windows Arabic code page; a blank field (all its bytes zero,
// Paradox's empty value, for numbers too) is a null QVariant, never 0. Integers come as qint64,
// numbers and money as double.
class ParadoxTable
{
public:
    enum class Type { Alpha, Short, Long, AutoInc, Number, Currency, Other };
    struct Field
    {
        QString name;
        Type type = Type::Other;
        int code = 0; // the type byte as the file holds it
        int size = 0; // bytes in a record
    };

    static constexpr qint64 MaxFileBytes = qint64(256) << 20;

    // Opens and checks the file; throws AppError naming the file and the reason.
    explicit ParadoxTable(const QString& localPath);
    ~ParadoxTable();
    ParadoxTable(const ParadoxTable&) = delete;
    ParadoxTable& operator=(const ParadoxTable&) = delete;

    const QString& path() const { return m_path; }
    const QList<Field>& fields() const { return m_fields; }
    int rowCount() const { return m_rowCount; }
    // The table's auto-increment counter as its header keeps it.
    qint64 autoIncrement() const { return m_autoIncrement; }
    // The code page the header names (0 for files older than Paradox 4).
    int codePage() const { return m_codePage; }

    // Reads row `row` (0 to rowCount() - 1, in the file's order) into values, one per field.
    // Throws AppError.
    void readRow(int row, QList<QVariant>& values);

    static QString typeName(int code);

private:
    struct Px;
    [[noreturn]] void refuse(const QString& reason) const;
    void checkStructure();
    void openWithPxlib();

    QString m_path;
    QByteArray m_bytes;
    QList<Field> m_fields;
    QList<int> m_offsets; // of each field within a record
    struct Block
    {
        int firstRow;     // the rows before this block, in chain order
        qint64 recordsAt; // where its first record lies in the file
    };
    QList<Block> m_blocks; // in chain order
    int m_rowCount = 0;
    int m_recordSize = 0;
    qint64 m_autoIncrement = 0;
    int m_codePage = 0;
    std::unique_ptr<Px> m_px;
    QByteArray m_record;
};
