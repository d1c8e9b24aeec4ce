#include "accounting/Ledger.h"

#include "install/SessionKind.h"
#include "install/Tables.h"
#include "platform/Clock.h"
#include "platform/Regional.h"

Ledger::Ledger()
{
    m_days.setObjectName(QStringLiteral("Table1"));
    m_days.setDirectory(Tables::ledgerDays().directory);
    m_days.setTableName(Tables::ledgerDays().fileName);
    m_days.setAfterPost([this] { Table1AfterPost(); });
    using Kind = TableStore::FieldKind;
    m_days.setNeededFields({
        {Tables::DayField::Date, {Kind::String}, 15},
        {Tables::DayField::Sum, {Kind::Float}},
    });

    m_entries.setObjectName(QStringLiteral("Table2"));
    m_entries.setDirectory(Tables::ledgerEntries().directory);
    m_entries.setTableName(Tables::ledgerEntries().fileName);
    m_entries.LinkToMaster(Tables::EntryField::DayIndex, &m_days, Tables::DayField::Date);
    m_entries.setAfterPost([this] { Table2AfterPost(); });
    // Every field a session's entry writes and the window shows.
    m_entries.setNeededFields({
        {Tables::EntryField::Date, {Kind::String}, 15},
        {Tables::EntryField::Start, {Kind::String}, 15},
        {Tables::EntryField::Minutes, {Kind::SmallInt, Kind::Integer}},
        {Tables::EntryField::Kind, {Kind::String}, 15},
        {Tables::EntryField::Cost, {Kind::Float}},
        {Tables::EntryField::Station, {Kind::String}, 35},
    });
}

void Ledger::Table1AfterPost()
{
    m_days.FlushTable();
}

void Ledger::Table2AfterPost()
{
    m_entries.FlushTable();
}

void Ledger::open()
{
    m_days.OpenTable();
    m_entries.OpenTable();
}

void Ledger::requireWritable() const
{
    for (const TableStore* table : {&m_days, &m_entries}) {
        if (table->writeProblem())
            throw AppError(*table->writeProblem());
    }
}

void Ledger::close()
{
    // The entries first: left open after the days closed, they would show every entry of every
    // day for a moment, and a grid showing them would count them all.
    m_entries.CloseTable();
    m_days.CloseTable();
}

Ledger::Recomputed Ledger::recompute()
{
    // The totals are derived from the entries: all days are rewritten or none, in one flush.
    TableStore::Unit unit(m_days);
    Recomputed recomputed = recomputeDays();
    unit.commit();
    return recomputed;
}

Audit::Event Ledger::recomputeEvent(const Recomputed& recomputed)
{
    Audit::Event event;
    event.event = Audit::Events::Recompute;
    QStringList changes;
    for (const TotalChange& change : recomputed.changed)
        changes.append(QStringLiteral("%1: %2 -> %3")
                           .arg(change.day, change.before.isEmpty() ? QStringLiteral("none") : change.before,
                                Regional::formatGeneral(change.after)));
    event.text = QStringLiteral("%1 days, %2 totals changed").arg(recomputed.days).arg(recomputed.changed.size());
    if (!changes.isEmpty())
        event.text += QStringLiteral(": ") + changes.join(QStringLiteral("; "));
    return event;
}

Ledger::Recomputed Ledger::recomputeDays()
{
    Recomputed recomputed;
    const TableStore::Snapshot entries(m_entries);
    m_days.MoveFirst();
    while (!m_days.AtEnd()) {
        // The entries table holds the current day's entries only.
        const double sum = m_entries.sumOf(Tables::EntryField::Cost);
        const QString before = m_days.GetFieldText(Tables::DayField::Sum);
        if (before.isEmpty() || m_days.GetFieldFloat(Tables::DayField::Sum) != sum)
            recomputed.changed.append({m_days.GetFieldText(Tables::DayField::Date), before, sum});
        ++recomputed.days;
        m_days.EditRow();
        m_days.SetFieldFloat(Tables::DayField::Sum, sum);
        m_days.PostRow();
        m_days.MoveNext();
    }
    return recomputed;
}

double Ledger::recordSession(const Session& session)
{
    try {
        return billSession(session);
    } catch (...) {
        // A half-made bill must not be stored by whatever moves the tables next: closing drops the
        // begun day and entry, while rows already stored stay stored.
        close();
        throw;
    }
}

double Ledger::billSession(const Session& session)
{
    open();

    const QString today = Regional::shortDate(Clock::now().date());
    if (!m_days.FindByKey(today)) {
        m_days.InsertRow();
        m_days.SetFieldText(Tables::DayField::Date, Regional::shortDate(Clock::now().date()));
        // The day first: an entry is never stored under a day that does not exist.
        m_days.PostRow();
    }

    m_entries.InsertRow();
    m_entries.SetFieldText(Tables::EntryField::Start, Regional::longTime(Clock::now().time()));
    m_entries.SetFieldText(Tables::EntryField::Minutes, session.minutesText);
    m_entries.SetFieldText(Tables::EntryField::Station, session.station);
    m_entries.SetFieldText(Tables::EntryField::Kind, session.games ? SessionKind::GamesWord : SessionKind::InternetWord);
    const double tariff = Regional::parseDecimal(session.tariffText);
    const int minutes = Regional::parseWholeNumber(session.minutesText);
    // Formed in extended precision, stored as a 64-bit float without rounding.
    const long double cost = static_cast<long double>(minutes) * static_cast<long double>(tariff);
    m_entries.SetFieldFloat(Tables::EntryField::Cost, static_cast<double>(cost));

    m_entries.PostRow();

    close();
    return static_cast<double>(cost);
}
