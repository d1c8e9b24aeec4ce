#pragma once

#include "install/Audit.h"
#include "platform/store/TableStore.h"

#include <QString>

// The day-by-day ledger: the days table (Table1) and the entries table (Table2), the entries
// linked to the current day through their day index. Every stored row is flushed at once by the
// after-post steps.
class Ledger
{
public:
    // The most minutes an entry's "TimeOperation" (a 16-bit field) holds.
    static constexpr int MaxMinutes = 32767;

    Ledger();

    TableStore& days() { return m_days; }
    TableStore& entries() { return m_entries; }

    // Opens the days, then the entries (no effect on a table that is open).
    void open();
    // Closes the days, then the entries.
    void close();
    // Throws AppError naming the folder or file when a table of the open ledger can only be read:
    // a session is then not begun, rather than undone when its bill cannot be stored.
    void requireWritable() const;

    // A day whose total a recompute changed: its date text, the total as it stood (empty when it
    // had none) and the new one.
    struct TotalChange
    {
        QString day;
        QString before;
        double after = 0;
    };
    struct Recomputed
    {
        int days = 0;
        QList<TotalChange> changed;
    };
    // Rewrites every day's total with the sum of its entries' costs; a day without entries gets 0.
    // All days are rewritten in one unit: a failure leaves every total as it was. Returns the
    // days whose total changed.
    Recomputed recompute();
    // The audit row of a recompute: how many days, and each changed total, before and after.
    static Audit::Event recomputeEvent(const Recomputed& recomputed);

    struct Session
    {
        QString minutesText; // as typed in the row's minutes box
        QString station;
        bool games = true;
        QString tariffText; // the tariff of the kind, as it stands at this moment
    };
    // Bills one opened session: opens the ledger, finds today's day or stores a new one, then
    // stores the entry, and closes both tables. The entry's store is the commit point: a failure
    // before it leaves at most an empty day (which totals 0), never an entry without its day.
    // On a failure the rows begun are dropped and both tables are closed. Returns the cost billed.
    double recordSession(const Session& session);

private:
    Recomputed recomputeDays();
    double billSession(const Session& session);
    void Table1AfterPost();
    void Table2AfterPost();

    TableStore m_days;
    TableStore m_entries;
};
