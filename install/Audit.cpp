#include "install/Audit.h"

#include "install/InstallPaths.h"
#include "install/Tables.h"
#include "platform/AppError.h"
#include "platform/Clock.h"
#include "platform/files/WinPath.h"
#include "platform/store/Sqlite.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>
#include <charconv>
#include <cstring>
#include <mutex>
#include <sys/stat.h>

namespace Audit {

namespace {

constexpr qsizetype HashBytes = 32;
const QByteArray FirstPrevious(HashBytes, '\0');

// The columns in the order the chain hashes them, then the hash itself.
const QString SelectColumns = QStringLiteral(
    "\"Serial\", \"TimeUtc\", \"TimeLocal\", \"Program\", \"Operator\", \"Event\", \"Station\", \"Minutes\", "
    "\"Kind\", \"Amount\", \"OldValue\", \"NewValue\", \"Text\", \"Hash\"");
enum Column {
    CSerial,
    CTimeUtc,
    CTimeLocal,
    CProgram,
    COperator,
    CEvent,
    CStation,
    CMinutes,
    CKind,
    CAmount,
    COld,
    CNew,
    CText,
    CHash
};

void appendField(QByteArray& out, const char* data, qsizetype size)
{
    const auto n = quint32(size);
    const char count[4] = {char(n >> 24), char(n >> 16), char(n >> 8), char(n)};
    out.append(count, 4);
    out.append(data, size);
}

void appendNull(QByteArray& out)
{
    out.append("\xff\xff\xff\xff", 4);
}

void appendText(QByteArray& out, const QString& text)
{
    const QByteArray utf8 = text.toUtf8();
    appendField(out, utf8.constData(), utf8.size());
}

// to_chars, not printf: the process locale may use a decimal comma.
void appendInteger(QByteArray& out, qint64 value)
{
    char digits[24];
    const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
    appendField(out, digits, end - digits);
}

void appendReal(QByteArray& out, double value)
{
    char digits[40];
    const auto end = std::to_chars(digits, digits + sizeof digits, value, std::chars_format::general, 17).ptr;
    appendField(out, digits, end - digits);
}

void encodeRow(QByteArray& out, const Row& row)
{
    // Keeps the capacity: clear() would give it back and the next row would grow it again.
    out.resize(0);
    appendInteger(out, row.serial);
    for (const QString* text :
         {&row.timeUtc, &row.timeLocal, &row.program, &row.operatorName, &row.event.event, &row.event.station})
        appendText(out, *text);
    if (row.event.minutes)
        appendInteger(out, *row.event.minutes);
    else
        appendNull(out);
    appendText(out, row.event.kind);
    if (row.event.amount)
        appendReal(out, *row.event.amount);
    else
        appendNull(out);
    for (const QString* text : {&row.event.oldValue, &row.event.newValue, &row.event.text})
        appendText(out, *text);
}

// The same bytes straight from a row of the SELECT above, without making strings of them: the
// walk over a long record costs little more than the hashing itself.
void encodeStatementRow(QByteArray& out, const Sqlite::Statement& statement)
{
    out.resize(0);
    appendInteger(out, sqlite3_value_int64(statement.value(CSerial)));
    for (int column = CTimeUtc; column <= CText; ++column) {
        sqlite3_value* value = statement.value(column);
        if (column == CMinutes || column == CAmount) {
            if (sqlite3_value_type(value) == SQLITE_NULL)
                appendNull(out);
            else if (column == CMinutes)
                appendInteger(out, sqlite3_value_int64(value));
            else
                appendReal(out, sqlite3_value_double(value));
            continue;
        }
        const auto* text = reinterpret_cast<const char*>(sqlite3_value_text(value));
        appendField(out, text ? text : "", sqlite3_value_bytes(value));
    }
}

// Whether the row's stored Hash is the lower-case hex of these 32 bytes, without making strings.
bool storedHashIs(const Sqlite::Statement& statement, QByteArrayView hash)
{
    static constexpr char Digits[] = "0123456789abcdef";
    sqlite3_value* value = statement.value(CHash);
    const auto* stored = reinterpret_cast<const char*>(sqlite3_value_text(value));
    if (!stored || sqlite3_value_bytes(value) != 2 * hash.size())
        return false;
    for (qsizetype i = 0; i < hash.size(); ++i) {
        const auto byte = uchar(hash[i]);
        if (stored[2 * i] != Digits[byte >> 4] || stored[2 * i + 1] != Digits[byte & 15])
            return false;
    }
    return true;
}

Row rowOf(const Sqlite::Statement& statement)
{
    Row row;
    row.serial = statement.int64(CSerial);
    row.timeUtc = statement.text(CTimeUtc);
    row.timeLocal = statement.text(CTimeLocal);
    row.program = statement.text(CProgram);
    row.operatorName = statement.text(COperator);
    row.event.event = statement.text(CEvent);
    row.event.station = statement.text(CStation);
    if (!statement.isNull(CMinutes))
        row.event.minutes = statement.int64(CMinutes);
    row.event.kind = statement.text(CKind);
    if (!statement.isNull(CAmount))
        row.event.amount = statement.real(CAmount);
    row.event.oldValue = statement.text(COld);
    row.event.newValue = statement.text(CNew);
    row.event.text = statement.text(CText);
    row.hash = statement.text(CHash);
    return row;
}

QString windowsPath()
{
    return Tables::audit().windowsPath();
}

QString cannotWrite(const QString& cause)
{
    return QStringLiteral("Cannot write the audit record \"%1\". %2").arg(windowsPath(), cause);
}

QString programName()
{
    return QCoreApplication::instance() ? QFileInfo(QCoreApplication::applicationFilePath()).fileName() : QString();
}

// What could not be written since the last row that could.
struct Missed
{
    qint64 count = 0;
    QString from;
    QString to;
    QString reason;
    QStringList events;
};

struct Writer
{
    std::mutex mutex;
    QString operatorName;
    Missed missed;
    // The connection is kept while the file it was opened on is still the one at the path.
    QString path;
    dev_t device = 0;
    ino_t inode = 0;
    Sqlite::Connection db;
    std::unique_ptr<Sqlite::Statement> last;
    std::unique_ptr<Sqlite::Statement> insert;

    void drop()
    {
        last.reset();
        insert.reset();
        db.reset();
    }

    sqlite3* connection()
    {
        const QString local = localPath();
        struct stat now
        {};
        const QByteArray native = QFile::encodeName(local);
        if (db && local == path && ::lstat(native.constData(), &now) == 0 && now.st_dev == device && now.st_ino == inode)
            return db.get();
        drop();
        if (::lstat(native.constData(), &now) != 0)
            Audit::create();
        if (::lstat(native.constData(), &now) != 0)
            throw AppError(cannotWrite(QStringLiteral("It could not be made.")));
        if (!S_ISREG(now.st_mode))
            throw AppError(cannotWrite(QStringLiteral("It is not a file: a folder or a link is in its place.")));
        Sqlite::Connection opened = Sqlite::open(local, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOFOLLOW);
        sqlite3_busy_timeout(opened.get(), 5000);
        Sqlite::exec(opened.get(), QStringLiteral("PRAGMA journal_mode=WAL; PRAGMA synchronous=FULL"));
        last = std::make_unique<Sqlite::Statement>(
            opened.get(), QStringLiteral("SELECT \"Serial\", \"Hash\" FROM \"Audit\" ORDER BY \"Serial\" DESC LIMIT 1"));
        insert = std::make_unique<Sqlite::Statement>(
            opened.get(),
            QStringLiteral("INSERT INTO \"Audit\" (%1) VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11, ?12, ?13, ?14)")
                .arg(SelectColumns));
        db = std::move(opened);
        path = local;
        device = now.st_dev;
        inode = now.st_ino;
        return db.get();
    }

    // Appends the rows in one transaction: all of them or none.
    void append(QList<Row> rows)
    {
        sqlite3* handle = connection();
        Sqlite::exec(handle, QStringLiteral("BEGIN IMMEDIATE"));
        try {
            qint64 serial = 0;
            QByteArray previous = FirstPrevious;
            {
                Sqlite::Use use(*last);
                if (last->step()) {
                    serial = last->int64(0);
                    previous = QByteArray::fromHex(last->text(1).toLatin1());
                }
            }
            for (Row& row : rows) {
                row.serial = ++serial;
                previous = chainHash(previous, row);
                row.hash = QString::fromLatin1(previous.toHex());
                Sqlite::Use use(*insert);
                const QVariant minutes = row.event.minutes ? QVariant(*row.event.minutes) : QVariant();
                const QVariant amount = row.event.amount ? QVariant(*row.event.amount) : QVariant();
                const QList<QVariant> values{row.serial,       row.timeUtc,     row.timeLocal,      row.program,
                                             row.operatorName, row.event.event, row.event.station,  minutes,
                                             row.event.kind,   amount,          row.event.oldValue, row.event.newValue,
                                             row.event.text,   row.hash};
                for (int i = 0; i < values.size(); ++i)
                    insert->bind(i + 1,
                                 values.at(i).typeId() == QMetaType::QString && values.at(i).toString().isNull()
                                     ? QVariant(QStringLiteral(""))
                                     : values.at(i));
                insert->step();
            }
            Sqlite::exec(handle, QStringLiteral("COMMIT"));
        } catch (...) {
            sqlite3_exec(handle, "ROLLBACK", nullptr, nullptr, nullptr);
            throw;
        }
    }
};

Writer& writer()
{
    static Writer instance;
    return instance;
}

Row stamped(const Event& event, const QDateTime& now, const QString& operatorName)
{
    Row row;
    row.timeUtc = now.toUTC().toString(Qt::ISODate);
    row.timeLocal = now.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    row.program = programName();
    row.operatorName = operatorName;
    row.event = event;
    return row;
}

Sqlite::Connection openForReading()
{
    const QString local = localPath();
    if (!QFileInfo::exists(local))
        throw AppError(QStringLiteral("There is no audit record \"%1\": it was removed, or this install was never set up "
                                      "(quorvel-setup makes it).")
                           .arg(windowsPath()));
    if (!QFileInfo(local).isFile() || QFileInfo(local).isSymLink())
        throw AppError(
            QStringLiteral("The audit record \"%1\" is not a file: a folder or a link is in its place.").arg(windowsPath()));
    try {
        Sqlite::Connection db = Sqlite::open(local, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOFOLLOW);
        sqlite3_busy_timeout(db.get(), 5000);
        return db;
    } catch (const Sqlite::Failure& failure) {
        throw AppError(QStringLiteral("Cannot read the audit record \"%1\". %2").arg(windowsPath(), failure.text()));
    }
}

// Rows removed at the end leave a whole chain: only a head written down earlier shows them.
void checkHead(Verdict& verdict, sqlite3* db, const Head& head)
{
    if (head.serial > verdict.events) {
        verdict.whole = false;
        verdict.badSerial = verdict.events + 1;
        verdict.message = QStringLiteral("%1 events, but the head %2 was printed when row %3 existed: rows %4 to %3 were "
                                         "removed")
                              .arg(verdict.events)
                              .arg(headText(head))
                              .arg(head.serial)
                              .arg(verdict.events + 1);
        return;
    }
    Sqlite::Statement statement(db, QStringLiteral("SELECT \"Hash\" FROM \"Audit\" WHERE \"Serial\" = ?1"));
    statement.bind(1, head.serial);
    const QString stored = statement.step() ? statement.text(0) : QString();
    if (stored.toLatin1() != head.hash.toHex()) {
        verdict.whole = false;
        verdict.badSerial = head.serial;
        verdict.message = QStringLiteral("%1 events form a chain, but not the one the head %2 was printed from: the chain "
                                         "was rebuilt from row %3 or an earlier one")
                              .arg(verdict.events)
                              .arg(headText(head))
                              .arg(head.serial);
    }
}

} // namespace

QString caption(const QString& event)
{
    static const QHash<QString, QString> captions{
        {Events::ConsoleStart, QStringLiteral("تشغيل البرنامج")},
        {Events::ConsoleExit, QStringLiteral("إغلاق البرنامج")},
        {Events::UncleanExit, QStringLiteral("انتهى التشغيل السابق دون إغلاق")},
        {Events::SessionOpen, QStringLiteral("فتح جلسة")},
        {Events::SessionReopen, QStringLiteral("إعادة فتح جلسة")},
        {Events::SessionEnd, QStringLiteral("انتهاء جلسة")},
        {Events::StopTime, QStringLiteral("إيقاف الوقت")},
        {Events::OwedZero, QStringLiteral("إيقاف مؤجل أرسل")},
        {Events::SessionResumed, QStringLiteral("استئناف جلسة")},
        {Events::RecordDropped, QStringLiteral("حذف جلسة من سجل الجلسات")},
        {Events::OpenUnrecorded, QStringLiteral("جهاز مفتوح دون تسجيل")},
        {Events::StationCommand, QStringLiteral("أمر للجهاز")},
        {Events::TariffChange, QStringLiteral("تغيير التعرفة")},
        {Events::CardTariffChange, QStringLiteral("تغيير تعرفة البطاقات")},
        {Events::Recompute, QStringLiteral("إحتساب المجاميع")},
        {Events::CardBatch, QStringLiteral("إنشاء بطاقات")},
        {Events::CardReport, QStringLiteral("طباعة تقرير البطاقات")},
        {Events::Import, QStringLiteral("استيراد")},
        {Events::Export, QStringLiteral("تصدير")},
        {Events::ClockJump, QStringLiteral("قفزة في الساعة")},
        {Events::ShiftOpen, QStringLiteral("فتح وردية")},
        {Events::ShiftClose, QStringLiteral("إغلاق وردية")},
        {Events::PinRefused, QStringLiteral("رمز المالك خاطئ")},
        {Events::OwnerSetting, QStringLiteral("إعداد المالك")},
        {Events::Gap, QStringLiteral("أحداث لم تسجل")},
    };
    return captions.value(event, event);
}

const QList<QString>& eventWords()
{
    static const QList<QString> words{
        Events::ConsoleStart,   Events::ConsoleExit,    Events::UncleanExit,  Events::SessionOpen,      Events::SessionReopen,
        Events::SessionEnd,     Events::StopTime,       Events::OwedZero,     Events::SessionResumed,   Events::RecordDropped,
        Events::OpenUnrecorded, Events::StationCommand, Events::TariffChange, Events::CardTariffChange, Events::Recompute,
        Events::CardBatch,      Events::CardReport,     Events::Import,       Events::Export,           Events::ClockJump,
        Events::ShiftOpen,      Events::ShiftClose,     Events::PinRefused,   Events::OwnerSetting,     Events::Gap,
    };
    return words;
}

QString localPath()
{
    const WinPath::Resolved target = WinPath::resolve(windowsPath());
    if (target.localPath.isEmpty())
        throw AppError(cannotWrite(target.error));
    // A linked data folder is followed, as the tables' and the journal's are (that is how data is
    // put on another disk); the record's own file is still never reached through a link. SQLite
    // refuses a link anywhere in the path it is given, hence the folder resolved here.
    const QFileInfo file(target.localPath);
    const QString folder = file.dir().canonicalPath();
    return folder.isEmpty() ? target.localPath : folder + QLatin1Char('/') + file.fileName();
}

bool create()
{
    const WinPath::Resolved dir = WinPath::resolve(Tables::audit().directory);
    if (!dir.localPath.isEmpty() && !QFileInfo(dir.localPath).isDir())
        QDir().mkpath(dir.localPath);
    return Tables::create(Tables::audit());
}

void setOperatorName(const QString& name)
{
    Writer& w = writer();
    const std::lock_guard lock(w.mutex);
    w.operatorName = name;
}

std::optional<QString> record(const Event& event)
{
    Writer& w = writer();
    const std::lock_guard lock(w.mutex);
    const QDateTime now = Clock::now();
    const Row row = stamped(event, now, w.operatorName);
    QList<Row> rows;
    if (w.missed.count > 0) {
        Event gap;
        gap.event = Events::Gap;
        gap.newValue = QString::number(w.missed.count);
        gap.text = QStringLiteral("%1 events could not be recorded from %2 to %3 (%4). %5")
                       .arg(w.missed.count)
                       .arg(w.missed.from, w.missed.to, w.missed.events.join(QStringLiteral(", ")), w.missed.reason);
        rows.append(stamped(gap, now, w.operatorName));
    }
    rows.append(row);
    try {
        w.append(rows);
        w.missed = {};
        return std::nullopt;
    } catch (const std::exception& error) {
        w.drop();
        const auto* appError = dynamic_cast<const AppError*>(&error);
        QString reason = appError ? appError->text() : QString::fromLocal8Bit(error.what());
        if (!reason.startsWith(QStringLiteral("Cannot write the audit record")))
            reason = cannotWrite(reason);
        if (w.missed.count++ == 0) {
            w.missed.from = row.timeUtc;
            w.missed.reason = reason;
        }
        w.missed.to = row.timeUtc;
        // The names tell what kind of thing went unrecorded; the count says how much.
        if (!w.missed.events.contains(event.event))
            w.missed.events.append(event.event);
        return reason;
    }
}

QByteArray encoded(const Row& row)
{
    QByteArray bytes;
    encodeRow(bytes, row);
    return bytes;
}

QByteArray chainHash(const QByteArray& previous, const Row& row)
{
    QCryptographicHash hash(QCryptographicHash::Sha256);
    hash.addData(previous);
    hash.addData(encoded(row));
    return hash.result();
}

QString headText(const Head& head)
{
    return QStringLiteral("%1:%2").arg(head.serial).arg(QString::fromLatin1(head.hash.toHex()));
}

HeadOrReason parseHead(const QString& text)
{
    static const QRegularExpression shape(QStringLiteral("^([0-9]{1,18}):([0-9A-Fa-f]{64})$"));
    const QRegularExpressionMatch match = shape.match(text);
    if (!match.hasMatch())
        return {std::nullopt,
                QStringLiteral("\"%1\" is not a head: it is the row's serial, a colon and the 64 hex digits "
                               "of its hash, as printed (e.g. 1200:3fa4...)")
                    .arg(text)};
    Head head;
    head.serial = match.captured(1).toLongLong();
    if (head.serial < 1)
        return {std::nullopt, QStringLiteral("\"%1\" is not a head: serials begin at 1").arg(text)};
    head.hash = QByteArray::fromHex(match.captured(2).toLatin1());
    return {head, {}};
}

Verdict verify(sqlite3* db, const std::optional<Head>& head)
{
    Verdict verdict;
    Sqlite::Statement statement(db, QStringLiteral("SELECT %1 FROM \"Audit\" ORDER BY \"Serial\"").arg(SelectColumns));
    QByteArray previous = FirstPrevious;
    QByteArray encoded;
    encoded.reserve(512);
    QCryptographicHash hash(QCryptographicHash::Sha256);
    qint64 expected = 1;
    auto broken = [&](qint64 serial, const QString& what) {
        verdict.badSerial = serial;
        verdict.message = QStringLiteral("The chain is broken at row %1: %2").arg(serial).arg(what);
        return verdict;
    };
    while (statement.step()) {
        const qint64 serial = statement.int64(CSerial);
        if (serial != expected)
            return broken(expected,
                          serial > expected ? QStringLiteral("row %1 was removed").arg(expected)
                                            : QStringLiteral("its serial %1 is out of order").arg(serial));
        encodeStatementRow(encoded, statement);
        hash.reset();
        hash.addData(previous);
        hash.addData(encoded);
        const QByteArrayView computed = hash.resultView();
        if (!storedHashIs(statement, computed)) {
            // Tell an inserted row and a swapped pair from a changed one by the row after it:
            // whether it holds what this row's place held.
            Row here = rowOf(statement);
            if (statement.step()) {
                Row next = rowOf(statement);
                const QString nextHash = next.hash;
                next.serial = serial;
                const QByteArray nextAsHere = chainHash(previous, next);
                if (QString::fromLatin1(nextAsHere.toHex()) == nextHash) {
                    here.serial = serial + 1;
                    if (QString::fromLatin1(chainHash(nextAsHere, here).toHex()) == here.hash)
                        return broken(serial, QStringLiteral("rows %1 and %2 were swapped").arg(serial).arg(serial + 1));
                    return broken(serial, QStringLiteral("row %1 was inserted").arg(serial));
                }
            }
            return broken(
                serial,
                QStringLiteral("row %1 was changed (or a row before it removed and the rows after renumbered)").arg(serial));
        }
        std::memcpy(previous.data(), computed.data(), HashBytes);
        verdict.events = serial;
        ++expected;
    }
    verdict.whole = true;
    verdict.message = QStringLiteral("%1 events, the chain is whole").arg(verdict.events);
    if (verdict.events > 0)
        verdict.last = Head{verdict.events, previous};
    if (head)
        checkHead(verdict, db, *head);
    return verdict;
}

Verdict verify(const std::optional<Head>& head)
{
    Sqlite::Connection db = openForReading();
    try {
        return verify(db.get(), head);
    } catch (const Sqlite::Failure& failure) {
        throw AppError(QStringLiteral("Cannot read the audit record \"%1\". %2").arg(windowsPath(), failure.text()));
    }
}

std::optional<Head> lastHead()
{
    Sqlite::Connection db = openForReading();
    try {
        Sqlite::Statement statement(
            db.get(), QStringLiteral("SELECT \"Serial\", \"Hash\" FROM \"Audit\" ORDER BY \"Serial\" DESC LIMIT 1"));
        if (!statement.step())
            return std::nullopt;
        return Head{statement.int64(0), QByteArray::fromHex(statement.text(1).toLatin1())};
    } catch (const Sqlite::Failure& failure) {
        throw AppError(QStringLiteral("Cannot read the audit record \"%1\". %2").arg(windowsPath(), failure.text()));
    }
}

QList<Row> rows(const QString& fromDay, const QString& toDay)
{
    Sqlite::Connection db = openForReading();
    try {
        // The local day is the first ten characters of TimeLocal; an empty bound is no bound.
        Sqlite::Statement statement(db.get(),
                                    QStringLiteral("SELECT %1 FROM \"Audit\" WHERE (?1 = '' OR substr(\"TimeLocal\", 1, 10) "
                                                   ">= ?1) AND (?2 = '' OR substr(\"TimeLocal\", 1, 10) <= ?2) "
                                                   "ORDER BY \"Serial\"")
                                        .arg(SelectColumns));
        statement.bind(1, fromDay.isNull() ? QStringLiteral("") : fromDay);
        statement.bind(2, toDay.isNull() ? QStringLiteral("") : toDay);
        QList<Row> result;
        while (statement.step())
            result.append(rowOf(statement));
        return result;
    } catch (const Sqlite::Failure& failure) {
        throw AppError(QStringLiteral("Cannot read the audit record \"%1\". %2").arg(windowsPath(), failure.text()));
    }
}

std::optional<Row> lastOf(const QList<QString>& events)
{
    Sqlite::Connection db = openForReading();
    try {
        QStringList placeholders;
        for (qsizetype i = 1; i <= events.size(); ++i)
            placeholders.append(QStringLiteral("?%1").arg(i));
        Sqlite::Statement statement(db.get(),
                                    QStringLiteral("SELECT %1 FROM \"Audit\" WHERE \"Event\" IN (%2) ORDER BY "
                                                   "\"Serial\" DESC LIMIT 1")
                                        .arg(SelectColumns, placeholders.join(QLatin1Char(','))));
        for (qsizetype i = 0; i < events.size(); ++i)
            statement.bind(int(i) + 1, events.at(i));
        if (statement.step())
            return rowOf(statement);
        return std::nullopt;
    } catch (const Sqlite::Failure& failure) {
        throw AppError(QStringLiteral("Cannot read the audit record \"%1\". %2").arg(windowsPath(), failure.text()));
    }
}

} // namespace Audit
