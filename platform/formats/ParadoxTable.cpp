#include "platform/formats/ParadoxTable.h"

#include "platform/AppError.h"
#include "platform/CodePage.h"

#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
// pxlib's header declares C functions without saying so.
extern "C" {
#include <paradox.h>
}

namespace {

// Places in the header, as every Paradox version lays it out.
constexpr int RecordSizeAt = 0x00;
constexpr int HeaderSizeAt = 0x02;
constexpr int FileTypeAt = 0x04;
constexpr int BlockKilobytesAt = 0x05;
constexpr int RowCountAt = 0x06;
constexpr int FileBlocksAt = 0x0C;
constexpr int FirstBlockAt = 0x0E;
constexpr int FieldCountAt = 0x21;
constexpr int EncryptionAt = 0x25;
constexpr int VersionAt = 0x39;
constexpr int AutoIncrementAt = 0x49;
constexpr int CommonHeaderEnd = 0x58;
// Paradox 4 and later put a second header after the first one.
constexpr int SecondEncryptionAt = 0x5C;
constexpr int CodePageAt = 0x6A;
constexpr int SecondHeaderEnd = 0x78;
constexpr int BlockHeaderBytes = 6;
// pxlib keeps block numbers and the header size in signed 16-bit values.
constexpr int MaxSigned16 = 0x7fff;

quint32 unsignedAt(const QByteArray& bytes, int at, int width)
{
    quint32 value = 0;
    for (int i = width - 1; i >= 0; --i)
        value = (value << 8) | quint8(bytes.at(at + i));
    return value;
}
int u8(const QByteArray& b, int at)
{
    return int(unsignedAt(b, at, 1));
}
int u16(const QByteArray& b, int at)
{
    return int(unsignedAt(b, at, 2));
}
int s16(const QByteArray& b, int at)
{
    return int(qint16(unsignedAt(b, at, 2)));
}
qint64 s32(const QByteArray& b, int at)
{
    return qint64(qint32(unsignedAt(b, at, 4)));
}

ParadoxTable::Type typeOf(int code)
{
    switch (code) {
    case pxfAlpha:
        return ParadoxTable::Type::Alpha;
    case pxfShort:
        return ParadoxTable::Type::Short;
    case pxfLong:
        return ParadoxTable::Type::Long;
    case pxfAutoInc:
        return ParadoxTable::Type::AutoInc;
    case pxfNumber:
        return ParadoxTable::Type::Number;
    case pxfCurrency:
        return ParadoxTable::Type::Currency;
    default:
        return ParadoxTable::Type::Other;
    }
}

} // namespace

// pxlib's document and the memory stream it reads. pxlib reports through a C callback, which must
// not throw: it only notes the message, and the caller checks the result of each call.
struct ParadoxTable::Px
{
    pxdoc_t* doc = nullptr;
    FILE* stream = nullptr;
    QString message;

    ~Px()
    {
        if (doc)
            PX_delete(doc);
        if (stream)
            std::fclose(stream);
    }

    static void onError(pxdoc_t*, int level, const char* text, void* self)
    {
        if (level != PX_Warning && self)
            static_cast<Px*>(self)->message = QString::fromLocal8Bit(text);
    }
};

ParadoxTable::ParadoxTable(const QString& localPath)
    : m_path(localPath)
{
    // A pipe or device could block the open or never end.
    if (!QFileInfo(localPath).isFile())
        refuse(QFileInfo::exists(localPath) ? QStringLiteral("it is not a regular file") : QStringLiteral("it does not exist"));
    QFile file(localPath);
    if (!file.open(QIODevice::ReadOnly))
        refuse(file.errorString());
    const qint64 size = file.size();
    if (size > MaxFileBytes)
        refuse(QStringLiteral("it is larger than %1 MiB").arg(MaxFileBytes >> 20));
    m_bytes = file.read(size);
    if (file.error() != QFileDevice::NoError)
        refuse(file.errorString());
    if (m_bytes.size() != size)
        refuse(QStringLiteral("it changed while it was read"));
    checkStructure();
    openWithPxlib();
}

ParadoxTable::~ParadoxTable() = default;

void ParadoxTable::refuse(const QString& reason) const
{
    throw AppError(QStringLiteral("Cannot read the Paradox table \"%1\": %2.").arg(m_path, reason));
}

void ParadoxTable::checkStructure()
{
    const QByteArray& b = m_bytes;
    const qint64 size = b.size();
    if (size < CommonHeaderEnd)
        refuse(QStringLiteral("it is too short for a Paradox header (%1 bytes)").arg(size));

    const int version = u8(b, VersionAt);
    if (version < 3 || version > 12)
        refuse(QStringLiteral("it is not a Paradox table (unknown version mark %1)").arg(version));
    const int fileType = u8(b, FileTypeAt);
    if (fileType != pxfFileTypIndexDB && fileType != pxfFileTypNonIndexDB)
        refuse(QStringLiteral("it is a Paradox index or other file, not a data table (file type %1)").arg(fileType));
    const int blockKilobytes = u8(b, BlockKilobytesAt);
    if (!QList<int>{1, 2, 3, 4, 8, 16, 32}.contains(blockKilobytes))
        refuse(QStringLiteral("its block size of %1 KiB is not one Paradox uses").arg(blockKilobytes));
    const int blockSize = blockKilobytes * 1024;

    const int secondHeader = version >= 5 ? SecondHeaderEnd : CommonHeaderEnd;
    const int headerSize = u16(b, HeaderSizeAt);
    if (headerSize < secondHeader || headerSize > MaxSigned16 || headerSize > size)
        refuse(QStringLiteral("its header size of %1 bytes does not fit the file of %2 bytes").arg(headerSize).arg(size));

    quint32 encryption = unsignedAt(b, EncryptionAt, 4);
    if (encryption == 0xFF00FF00u && version >= 5)
        encryption = unsignedAt(b, SecondEncryptionAt, 4);
    else if (encryption == 0xFF00FF00u)
        encryption = 0;
    if (encryption != 0)
        refuse(QStringLiteral("it is protected by a password"));
    m_codePage = version >= 5 ? u16(b, CodePageAt) : 0;
    m_autoIncrement = s32(b, AutoIncrementAt);

    const int fieldCount = s16(b, FieldCountAt);
    if (fieldCount < 1 || fieldCount > 255)
        refuse(QStringLiteral("it states %1 fields").arg(fieldCount));
    int at = secondHeader;
    if (at + 2 * fieldCount > headerSize)
        refuse(QStringLiteral("its field list runs past the header"));
    int recordBytes = 0;
    for (int i = 0; i < fieldCount; ++i) {
        Field field;
        field.code = u8(b, at + 2 * i);
        field.type = typeOf(field.code);
        // pxlib counts a BCD field as 17 bytes whatever its size byte says.
        field.size = field.code == pxfBCD ? 17 : u8(b, at + 2 * i + 1);
        const int fixed = field.type == Type::Short                      ? 2
            : field.type == Type::Long || field.type == Type::AutoInc    ? 4
            : field.type == Type::Number || field.type == Type::Currency ? 8
                                                                         : 0;
        if (field.size == 0 || (fixed && field.size != fixed))
            refuse(QStringLiteral("field %1, of type %2, has a size of %3 bytes")
                       .arg(i + 1)
                       .arg(typeName(field.code))
                       .arg(field.size));
        m_offsets.append(recordBytes);
        recordBytes += field.size;
        m_fields.append(field);
    }
    m_recordSize = u16(b, RecordSizeAt);
    if (m_recordSize != recordBytes)
        refuse(QStringLiteral("its record size of %1 bytes does not match its fields (%2 bytes)")
                   .arg(m_recordSize)
                   .arg(recordBytes));
    if (m_recordSize > blockSize - BlockHeaderBytes)
        refuse(QStringLiteral("a record of %1 bytes does not fit a block of %2").arg(m_recordSize).arg(blockSize));

    // Field types, the table name's pointer, one pointer per field name, the table name.
    at += 2 * fieldCount + 4 + 4 * fieldCount;
    const int tableNameBytes = version == 12 ? 261 : 79;
    const qsizetype tableNameEnd = at + tableNameBytes <= headerSize ? b.indexOf('\0', at) : -1;
    if (tableNameEnd < 0 || tableNameEnd >= at + tableNameBytes)
        refuse(QStringLiteral("its table name runs past its place in the header"));
    at += tableNameBytes;
    for (Field& field : m_fields) {
        const int end = at < headerSize ? int(b.indexOf('\0', at)) : -1;
        if (end < 0 || end >= headerSize)
            refuse(QStringLiteral("its field names run past the header"));
        if (end - at > 255)
            refuse(QStringLiteral("a field name is longer than 255 bytes"));
        field.name = CodePage::toUnicode(b.constData() + at, end - at);
        at = end + 1;
    }

    const qint64 rowCount = s32(b, RowCountAt);
    const int fileBlocks = u16(b, FileBlocksAt);
    if (fileBlocks > MaxSigned16)
        refuse(QStringLiteral("it states %1 data blocks, more than a Paradox table holds").arg(fileBlocks));
    const qint64 needed = headerSize + qint64(fileBlocks) * blockSize;
    if (needed > size)
        refuse(QStringLiteral("it ends before its %1 data blocks (it has %2 bytes, they need %3)")
                   .arg(fileBlocks)
                   .arg(size)
                   .arg(needed));

    // Follow the chain as pxlib will, and require that it ends, stays inside the file and holds
    // exactly the rows the header counts. pxlib follows the first block even when the header
    // counts none, so that one is checked too; a chain that never ends revisits a block.
    QList<bool> visited(fileBlocks + 1, false);
    qint64 rows = 0;
    int block = u16(b, FirstBlockAt);
    while (block > 0) {
        if (block > fileBlocks)
            refuse(QStringLiteral("its chain of data blocks points to block %1 of %2").arg(block).arg(fileBlocks));
        if (visited[block])
            refuse(QStringLiteral("its chain of data blocks loops back to block %1").arg(block));
        visited[block] = true;
        const int blockAt = headerSize + (block - 1) * blockSize;
        const int used = s16(b, blockAt + 4); // bytes of the block's rows after the first
        if (used < -m_recordSize || used % m_recordSize != 0 || used + m_recordSize > blockSize - BlockHeaderBytes)
            refuse(QStringLiteral("data block %1 states %2 bytes of rows, which does not fit").arg(block).arg(used));
        if (used >= 0)
            m_blocks.append({int(rows), blockAt + BlockHeaderBytes});
        rows += used / m_recordSize + 1;
        block = u16(b, blockAt);
    }
    if (rowCount != rows)
        refuse(QStringLiteral("its header counts %1 rows but its data blocks hold %2").arg(rowCount).arg(rows));
    m_rowCount = int(rows);
}

void ParadoxTable::openWithPxlib()
{
    m_px = std::make_unique<Px>();
    // A read-only stream over the checked bytes: pxlib cannot read past them. Unbuffered, so each
    // of pxlib's seeks costs nothing.
    m_px->stream = fmemopen(m_bytes.data(), size_t(m_bytes.size()), "r");
    if (!m_px->stream)
        refuse(QStringLiteral("no memory to read it"));
    std::setvbuf(m_px->stream, nullptr, _IONBF, 0);
    m_px->doc = PX_new3(&Px::onError, nullptr, nullptr, nullptr, m_px.get());
    if (!m_px->doc)
        refuse(QStringLiteral("no memory to read it"));
    if (PX_open_fp(m_px->doc, m_px->stream) < 0)
        refuse(m_px->message.isEmpty() ? QStringLiteral("pxlib cannot open it") : m_px->message);

    // What pxlib read must be what was checked.
    if (PX_get_num_fields(m_px->doc) != m_fields.size() || PX_get_recordsize(m_px->doc) != m_recordSize
        || PX_get_num_records(m_px->doc) != m_rowCount)
        refuse(QStringLiteral("pxlib reads its header differently"));
    for (int i = 0; i < m_fields.size(); ++i) {
        const pxfield_t* f = PX_get_field(m_px->doc, i);
        if (!f || quint8(f->px_ftype) != m_fields[i].code || f->px_flen != m_fields[i].size
            || CodePage::toUnicode(f->px_fname, qstrnlen(f->px_fname, 300)) != m_fields[i].name)
            refuse(QStringLiteral("pxlib reads field %1 differently").arg(i + 1));
    }
    m_record = QByteArray(m_recordSize, '\0');
}

void ParadoxTable::readRow(int row, QList<QVariant>& values)
{
    if (row < 0 || row >= m_rowCount)
        refuse(QStringLiteral("it has no row %1").arg(row + 1));
    // The block that holds the row: the last one starting at or before it.
    const auto next = std::upper_bound(m_blocks.begin(), m_blocks.end(), row,
                                       [](int r, const Block& block) { return r < block.firstRow; });
    const Block& block = *(next - 1);
    char* record = m_record.data();
    std::memcpy(record, m_bytes.constData() + block.recordsAt + qint64(row - block.firstRow) * m_recordSize,
                size_t(m_recordSize));
    values.resize(m_fields.size());
    for (int i = 0; i < m_fields.size(); ++i) {
        const Field& field = m_fields.at(i);
        char* data = record + m_offsets.at(i);
        // Paradox leaves every byte of an empty field zero, whatever its type.
        bool blank = true;
        for (int k = 0; k < field.size && blank; ++k)
            blank = data[k] == 0;
        if (blank) {
            values[i] = QVariant();
            continue;
        }
        switch (field.type) {
        case Type::Alpha: {
            char* text = nullptr;
            if (PX_get_data_alpha(m_px->doc, data, field.size, &text) < 0 || !text)
                refuse(QStringLiteral("row %1, field \"%2\" cannot be read").arg(row + 1).arg(field.name));
            values[i] = CodePage::toUnicode(text, qstrnlen(text, size_t(field.size)));
            m_px->doc->free(m_px->doc, text);
            break;
        }
        case Type::Short: {
            short value = 0;
            PX_get_data_short(m_px->doc, data, field.size, &value);
            values[i] = qint64(value);
            break;
        }
        case Type::Long:
        case Type::AutoInc: {
            long value = 0;
            PX_get_data_long(m_px->doc, data, field.size, &value);
            values[i] = qint64(qint32(value));
            break;
        }
        case Type::Number:
        case Type::Currency: {
            double value = 0;
            PX_get_data_double(m_px->doc, data, field.size, &value);
            values[i] = value;
            break;
        }
        case Type::Other:
            values[i] = QByteArray(data, field.size);
            break;
        }
    }
}

QString ParadoxTable::typeName(int code)
{
    switch (code) {
    case pxfAlpha:
        return QStringLiteral("alpha");
    case pxfDate:
        return QStringLiteral("date");
    case pxfShort:
        return QStringLiteral("short integer");
    case pxfLong:
        return QStringLiteral("long integer");
    case pxfCurrency:
        return QStringLiteral("money");
    case pxfNumber:
        return QStringLiteral("number");
    case pxfLogical:
        return QStringLiteral("logical");
    case pxfMemoBLOb:
    case pxfBLOb:
    case pxfFmtMemoBLOb:
    case pxfOLE:
    case pxfGraphic:
        return QStringLiteral("memo or binary");
    case pxfTime:
        return QStringLiteral("time");
    case pxfTimestamp:
        return QStringLiteral("timestamp");
    case pxfAutoInc:
        return QStringLiteral("auto-increment");
    case pxfBCD:
        return QStringLiteral("BCD");
    case pxfBytes:
        return QStringLiteral("bytes");
    default:
        return QStringLiteral("unknown (%1)").arg(code);
    }
}
