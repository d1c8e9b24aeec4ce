// The audit record read back: a head typed by the owner, and rows as they stand in the file.
// A head is accepted exactly when it is a serial from 1, a colon and 64 hex digits, and reads
// back as typed (lower case). Rows made from the input with their hashes as the record writes
// them verify whole, whatever the fields hold; one field of one row changed afterwards breaks
// the chain at that row, or, when it was a pair's worth of rows that moved, names that row.

#include "FuzzCommon.h"

#include "install/Audit.h"
#include "install/Tables.h"
#include "platform/store/Sqlite.h"

#include <QRegularExpression>

namespace {

// Takes a length byte and that many bytes as UTF-8 text (invalid sequences and all).
QString take(const uint8_t*& data, size_t& size)
{
    if (size == 0)
        return {};
    const size_t n = std::min<size_t>(*data, size - 1);
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data + 1), qsizetype(n));
    data += n + 1;
    size -= n + 1;
    return text;
}

void checkHead(const QString& text)
{
    static const QRegularExpression shape(QStringLiteral("^[0-9]{1,18}:[0-9A-Fa-f]{64}$"));
    const Audit::HeadOrReason parsed = Audit::parseHead(text);
    const bool shaped = shape.match(text).hasMatch() && text.section(u':', 0, 0).toLongLong() >= 1;
    FUZZ_CHECK(bool(parsed.head) == shaped);
    FUZZ_CHECK(parsed.head ? parsed.reason.isEmpty() : !parsed.reason.isEmpty());
    if (parsed.head) {
        FUZZ_CHECK(parsed.head->hash.size() == 32);
        FUZZ_CHECK(Audit::headText(*parsed.head) == text.toLower().remove(QRegularExpression(QStringLiteral("^0+(?=[0-9])"))));
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 2)
        return 0;
    const uint8_t rowCount = data[0] % 6;
    const uint8_t tamperRow = data[1];
    data += 2;
    size -= 2;
    checkHead(take(data, size));

    Sqlite::Connection db = Sqlite::open(QStringLiteral(":memory:"), SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
    Sqlite::exec(db.get(), Tables::audit().definition().statements.join(u"; "));
    Sqlite::Statement insert(db.get(),
                             QStringLiteral("INSERT INTO Audit VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11, ?12, "
                                            "?13, ?14)"));
    QByteArray previous(32, '\0');
    for (int i = 1; i <= rowCount; ++i) {
        Audit::Row row;
        row.serial = i;
        row.timeUtc = take(data, size);
        row.timeLocal = take(data, size);
        row.program = take(data, size);
        row.operatorName = take(data, size);
        row.event.event = take(data, size);
        row.event.station = take(data, size);
        const QString minutes = take(data, size);
        if (!minutes.isEmpty())
            row.event.minutes = qint64(qHash(minutes)) - 1000;
        row.event.kind = take(data, size);
        const QString amount = take(data, size);
        if (!amount.isEmpty())
            row.event.amount = double(qint32(qHash(amount))) / 7.0;
        row.event.oldValue = take(data, size);
        row.event.newValue = take(data, size);
        row.event.text = take(data, size);
        previous = Audit::chainHash(previous, row);
        // SQLite keeps text as given; what it reads back is what is hashed again.
        const QList<QVariant> values{row.serial,         row.timeUtc,
                                     row.timeLocal,      row.program,
                                     row.operatorName,   row.event.event,
                                     row.event.station,  row.event.minutes ? QVariant(*row.event.minutes) : QVariant(),
                                     row.event.kind,     row.event.amount ? QVariant(*row.event.amount) : QVariant(),
                                     row.event.oldValue, row.event.newValue,
                                     row.event.text,     QString::fromLatin1(previous.toHex())};
        Sqlite::Use use(insert);
        for (int v = 0; v < values.size(); ++v)
            insert.bind(v + 1,
                        values.at(v).typeId() == QMetaType::QString && values.at(v).toString().isNull() ? QVariant(QString(""))
                                                                                                        : values.at(v));
        insert.step();
    }
    // Text that is not valid UTF-8 was already made valid by QString: the stored row is what was hashed.
    const Audit::Verdict whole = Audit::verify(db.get());
    FUZZ_CHECK(whole.whole);
    FUZZ_CHECK(whole.events == rowCount);

    if (rowCount == 0)
        return 0;
    const int victim = tamperRow % rowCount + 1;
    Sqlite::exec(
        db.get(),
        QStringLiteral("DROP TRIGGER \"AuditKeepFields\"; UPDATE Audit SET Text = Text || 'x' WHERE Serial = %1").arg(victim));
    const Audit::Verdict broken = Audit::verify(db.get());
    FUZZ_CHECK(!broken.whole);
    FUZZ_CHECK(broken.badSerial == victim);
    return 0;
}
