#include "accounting/Ledger.h"

#include "platform/Clock.h"
#include "platform/InstallPaths.h"
#include "platform/Regional.h"
#include "platform/SessionKind.h"

Ledger::Ledger()
{
    m_table1.setObjectName(QStringLiteral("Table1"));
    m_table1.setDirectory(InstallPaths::LedgerDir);
    m_table1.setTableName(QStringLiteral("SumDays.DB"));
    m_table1.setAfterPost([this] { Table1AfterPost(); });
    using Kind = TableStore::FieldKind;
    m_table1.setNeededFields({
        {QStringLiteral("DateDay"), {Kind::String}, 15},
        {QStringLiteral("SumDay"), {Kind::Float}},
    });

    m_table2.setObjectName(QStringLiteral("Table2"));
    m_table2.setDirectory(InstallPaths::LedgerDir);
    m_table2.setTableName(QStringLiteral("DetailDays.DB"));
    m_table2.LinkToMaster(QStringLiteral("DateDayIndex"), &m_table1, QStringLiteral("DateDay"));
    m_table2.setAfterPost([this] { Table2AfterPost(); });
    // Every field a session's entry writes and the window shows.
    m_table2.setNeededFields({
        {QStringLiteral("DateDay2"), {Kind::String}, 15},
        {QStringLiteral("StartOperation"), {Kind::String}, 15},
        {QStringLiteral("TimeOperation"), {Kind::SmallInt, Kind::Integer}},
        {QStringLiteral("KandOperation"), {Kind::String}, 15},
        {QStringLiteral("Cost"), {Kind::Float}},
        {QStringLiteral("Computer"), {Kind::String}, 35},
    });
}

void Ledger::Table1AfterPost()
{
    m_table1.FlushTable();
}

void Ledger::Table2AfterPost()
{
    m_table2.FlushTable();
}

void Ledger::open()
{
    m_table1.OpenTable();
    m_table2.OpenTable();
}

void Ledger::close()
{
    // The entries first: left open after the days closed, they would show every entry of every
    // day for a moment, and a grid showing them would count them all.
    m_table2.CloseTable();
    m_table1.CloseTable();
}

void Ledger::recompute()
{
    // The totals are derived from the entries: all days are rewritten or none, in one flush.
    TableStore::Unit unit(m_table1);
    recomputeDays();
    unit.commit();
}

void Ledger::recomputeDays()
{
    const TableStore::Snapshot entries(m_table2);
    m_table1.MoveFirst();
    while (!m_table1.AtEnd()) {
        // The entries table holds the current day's entries only.
        const double sum = m_table2.sumOf(QStringLiteral("Cost"));
        m_table1.EditRow();
        m_table1.SetFieldFloat(QStringLiteral("SumDay"), sum);
        m_table1.PostRow();
        m_table1.MoveNext();
    }
}

void Ledger::recordSession(const Session& session)
{
    try {
        billSession(session);
    } catch (...) {
        // A half-made bill must not be stored by whatever moves the tables next: closing drops the
        // begun day and entry, while rows already stored stay stored.
        close();
        throw;
    }
}

void Ledger::billSession(const Session& session)
{
    open();

    const QString today = Regional::shortDate(Clock::now().date());
    if (!m_table1.FindByKey(today)) {
        m_table1.InsertRow();
        m_table1.SetFieldText(QStringLiteral("DateDay"), Regional::shortDate(Clock::now().date()));
        // The day first: an entry is never stored under a day that does not exist.
        m_table1.PostRow();
    }

    m_table2.InsertRow();
    m_table2.SetFieldText(QStringLiteral("StartOperation"), Regional::longTime(Clock::now().time()));
    m_table2.SetFieldText(QStringLiteral("TimeOperation"), session.minutesText);
    m_table2.SetFieldText(QStringLiteral("Computer"), session.station);
    m_table2.SetFieldText(QStringLiteral("KandOperation"), session.games ? SessionKind::GamesWord : SessionKind::InternetWord);
    const double tariff = Regional::parseDecimal(session.tariffText);
    const int minutes = Regional::parseWholeNumber(session.minutesText);
    // Formed in extended precision, stored as a 64-bit float without rounding.
    const long double cost = static_cast<long double>(minutes) * static_cast<long double>(tariff);
    m_table2.SetFieldFloat(QStringLiteral("Cost"), static_cast<double>(cost));

    m_table2.PostRow();

    close();
}
