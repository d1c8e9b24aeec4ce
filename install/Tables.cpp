#include "install/Tables.h"

#include "install/InstallPaths.h"
#include "platform/files/WinPath.h"
#include "platform/store/TableStore.h"

namespace Tables {

namespace {

enum Which { Days, Entries, MainCards, TempCards };

QList<Column> cardColumns()
{
    return {
        {CardField::Auto, QStringLiteral("INTEGER PRIMARY KEY AUTOINCREMENT")},
        {CardField::Number, QStringLiteral("VARCHAR(20)")},
        {CardField::Minutes, QStringLiteral("SMALLINT")},
        {CardField::State, QStringLiteral("VARCHAR(15)")},
        {CardField::Remaining, QStringLiteral("SMALLINT")},
        {CardField::Cost, QStringLiteral("FLOAT")},
        {CardField::FirstUse, QStringLiteral("VARCHAR(20)")},
        {CardField::Kind, QStringLiteral("VARCHAR(10)")},
    };
}

} // namespace

QStringList Table::fieldNames() const
{
    QStringList names;
    for (const Column& column : columns)
        names.append(column.name);
    return names;
}

TableFiles::Definition Table::definition() const
{
    QStringList fields;
    for (const Column& column : columns)
        fields.append(QStringLiteral("\"%1\" %2").arg(column.name, column.type));
    QStringList statements{QStringLiteral("CREATE TABLE \"%1\" (%2)").arg(name, fields.join(QStringLiteral(", ")))};
    statements += after;
    return {fileName, statements};
}

QString Table::relativePath() const
{
    // The table directories all lie two levels down, in Data\<kind>.
    return directory.section(QLatin1Char('\\'), -2) + QLatin1Char('\\') + fileName;
}

const QList<Table>& all()
{
    static const QList<Table> tables{
        // A day without a date would escape the one-day-per-date rule, so the key is required.
        {QStringLiteral("SumDays"),
         InstallPaths::LedgerDir,
         QStringLiteral("SumDays.DB"),
         {{DayField::Date, QStringLiteral("VARCHAR(15) NOT NULL PRIMARY KEY")}, {DayField::Sum, QStringLiteral("FLOAT")}},
         {}},
        {QStringLiteral("DetailDays"),
         InstallPaths::LedgerDir,
         QStringLiteral("DetailDays.DB"),
         {
             {EntryField::Auto, QStringLiteral("INTEGER PRIMARY KEY AUTOINCREMENT")},
             {EntryField::Date, QStringLiteral("VARCHAR(15)")},
             {EntryField::Start, QStringLiteral("VARCHAR(15)")},
             {EntryField::Minutes, QStringLiteral("SMALLINT")},
             {EntryField::Kind, QStringLiteral("VARCHAR(15)")},
             {EntryField::Cost, QStringLiteral("FLOAT")},
             {EntryField::Station, QStringLiteral("VARCHAR(35)")},
         },
         {QStringLiteral("CREATE INDEX \"%1\" ON \"DetailDays\" (\"%2\")").arg(EntryField::DayIndex, EntryField::Date)}},
        {QStringLiteral("Card"), InstallPaths::CardDir, QStringLiteral("Card.db"), cardColumns(), {}},
        {QStringLiteral("Card1"), InstallPaths::TempCardDir, QStringLiteral("Card1.db"), cardColumns(), {}},
    };
    return tables;
}

const Table& audit()
{
    // Rows are only ever appended: the triggers refuse a change or a removal made through SQLite,
    // and the hash chain shows one made around them.
    static const QString refuse = QStringLiteral(
        "CREATE TRIGGER \"%1\" BEFORE %2 ON \"Audit\" BEGIN SELECT RAISE(ABORT, 'the audit record is only appended to'); END");
    static const Table table{
        QStringLiteral("Audit"),
        InstallPaths::AuditDir,
        QStringLiteral("Audit.db"),
        {
            {AuditField::Serial, QStringLiteral("INTEGER NOT NULL PRIMARY KEY")},
            {AuditField::TimeUtc, QStringLiteral("TEXT NOT NULL")},
            {AuditField::TimeLocal, QStringLiteral("TEXT NOT NULL")},
            {AuditField::Program, QStringLiteral("TEXT NOT NULL")},
            {AuditField::Operator, QStringLiteral("TEXT NOT NULL")},
            {AuditField::Event, QStringLiteral("TEXT NOT NULL")},
            {AuditField::Station, QStringLiteral("TEXT NOT NULL")},
            {AuditField::Minutes, QStringLiteral("INTEGER")},
            {AuditField::Kind, QStringLiteral("TEXT NOT NULL")},
            {AuditField::Amount, QStringLiteral("FLOAT")},
            {AuditField::OldValue, QStringLiteral("TEXT NOT NULL")},
            {AuditField::NewValue, QStringLiteral("TEXT NOT NULL")},
            {AuditField::Text, QStringLiteral("TEXT NOT NULL")},
            {AuditField::Hash, QStringLiteral("TEXT NOT NULL")},
        },
        {refuse.arg(QStringLiteral("AuditKeepRows"), QStringLiteral("DELETE")),
         refuse.arg(QStringLiteral("AuditKeepFields"), QStringLiteral("UPDATE"))},
    };
    return table;
}

const Table& ledgerDays()
{
    return all().at(Days);
}

const Table& ledgerEntries()
{
    return all().at(Entries);
}

const Table& mainCards()
{
    return all().at(MainCards);
}

const Table& tempCards()
{
    return all().at(TempCards);
}

const Table* find(const QString& name)
{
    for (const Table& table : all())
        if (table.name.compare(name, Qt::CaseInsensitive) == 0)
            return &table;
    return nullptr;
}

AppError readFailure(const Table& table, const QString& reason)
{
    return AppError(QStringLiteral("Cannot read the table \"%1\". %2").arg(table.windowsPath(), reason));
}

Sqlite::Connection openForReading(const Table& table)
{
    const WinPath::Resolved place = WinPath::resolve(table.windowsPath());
    if (place.localPath.isEmpty())
        throw readFailure(table, place.error);
    try {
        Sqlite::recoverInterruptedWrite(place.localPath);
        Sqlite::Connection db = Sqlite::openForReading(place.localPath, SQLITE_OPEN_NOFOLLOW);
        sqlite3_busy_timeout(db.get(), TableStore::LockWaitMs);
        return db;
    } catch (const Sqlite::Failure& failure) {
        throw readFailure(table, failure.text());
    }
}

bool create(const Table& table)
{
    return TableFiles::create(table.directory, table.definition());
}

} // namespace Tables
