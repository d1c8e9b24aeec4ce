#include "install/OwnerPin.h"

#include "install/Audit.h"
#include "install/AuditFile.h"
#include "platform/AppError.h"

#include <sodium.h>

namespace OwnerPin {

namespace {

const QString PinKey = QStringLiteral("PinHash");
const QString BlindKey = QStringLiteral("BlindCount");

void startSodium()
{
    static const int started = sodium_init();
    if (started < 0)
        throw AppError(QStringLiteral("The owner's PIN cannot be checked: the password library did not start."));
}

std::optional<QString> value(sqlite3* db, const QString& key)
{
    try {
        Sqlite::Statement statement(db, QStringLiteral("SELECT \"Value\" FROM \"Owner\" WHERE \"Key\" = ?1"));
        statement.bind(1, key);
        if (statement.step())
            return statement.text(0);
        return std::nullopt;
    } catch (const Sqlite::Failure& error) {
        throw AuditFile::failure(error.text());
    }
}

void store(sqlite3* db, const QString& key, const std::optional<QString>& text)
{
    try {
        Sqlite::Statement statement(db,
                                    text ? QStringLiteral("INSERT OR REPLACE INTO \"Owner\" (\"Key\", \"Value\") VALUES (?1, ?2)")
                                         : QStringLiteral("DELETE FROM \"Owner\" WHERE \"Key\" = ?1"));
        statement.bind(1, key);
        if (text)
            statement.bind(2, *text);
        statement.step();
    } catch (const Sqlite::Failure& error) {
        throw AuditFile::failure(error.text());
    }
}

// With no file, or a folder or a link in its place, no PIN can have been kept: nothing asks for one.
// The café goes on working; what it does meanwhile cannot be recorded either, and the operator is
// told that, and the gap is recorded, by the audit record itself. Reading never writes: a full
// disk does not stop a check.
std::optional<QString> storedValue(const QString& key)
{
    const std::optional<Sqlite::Connection> db = AuditFile::openForReading(QStringLiteral("Owner"));
    return db ? value(db->get(), key) : std::nullopt;
}

Audit::Event ownerEvent(const QString& what)
{
    Audit::Event event;
    event.event = Audit::Events::OwnerSetting;
    event.text = what;
    return event;
}

} // namespace

bool isSet()
{
    return storedValue(PinKey).has_value();
}

bool check(const QString& pin, const QString& what)
{
    const std::optional<QString> hash = storedValue(PinKey);
    if (!hash)
        return true;
    startSodium();
    const QByteArray typed = pin.toUtf8();
    const QByteArray stored = hash->toLatin1();
    if (crypto_pwhash_str_verify(stored.constData(), typed.constData(), quint64(typed.size())) == 0)
        return true;
    Audit::Event refused;
    refused.event = Audit::Events::PinRefused;
    refused.text = what;
    // The refusal stands whether or not it could be written down.
    Audit::record(refused);
    return false;
}

std::optional<QString> change(const QString& newPin)
{
    const Sqlite::Connection db = AuditFile::open();
    const bool had = value(db.get(), PinKey).has_value();
    if (newPin.isEmpty()) {
        store(db.get(), PinKey, std::nullopt);
        return had ? Audit::record(ownerEvent(QStringLiteral("the owner's PIN was removed"))) : std::nullopt;
    }
    if (newPin.size() < MinLength || newPin.size() > MaxLength)
        throw AppError(QStringLiteral("The owner's PIN must have %1 to %2 characters.").arg(MinLength).arg(MaxLength));
    startSodium();
    const QByteArray pin = newPin.toUtf8();
    char hash[crypto_pwhash_STRBYTES];
    if (crypto_pwhash_str(hash, pin.constData(), quint64(pin.size()), crypto_pwhash_OPSLIMIT_INTERACTIVE,
                          crypto_pwhash_MEMLIMIT_INTERACTIVE)
        != 0)
        throw AppError(QStringLiteral("The owner's PIN was not changed: there is not enough memory to hash it."));
    store(db.get(), PinKey, QString::fromLatin1(hash));
    return Audit::record(
        ownerEvent(had ? QStringLiteral("the owner's PIN was changed") : QStringLiteral("the owner's PIN was set")));
}

bool blindCount()
{
    return storedValue(BlindKey) == QStringLiteral("1");
}

std::optional<QString> setBlindCount(bool blind)
{
    const Sqlite::Connection db = AuditFile::open();
    if ((value(db.get(), BlindKey) == QStringLiteral("1")) == blind)
        return std::nullopt;
    store(db.get(), BlindKey, blind ? QStringLiteral("1") : QStringLiteral("0"));
    Audit::Event event = ownerEvent(blind ? QStringLiteral("blind count on") : QStringLiteral("blind count off"));
    event.newValue = blind ? QStringLiteral("1") : QStringLiteral("0");
    return Audit::record(event);
}

} // namespace OwnerPin
