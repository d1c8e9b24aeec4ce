#pragma once

#include "accounting/Shifts.h"

#include <QList>
#include <QWidget>

class QTableWidget;

// The owner's list of shifts, the latest first, each with its figures; a closed shift's slip can
// be shown and printed again.
class ShiftHistoryWindow final : public QWidget
{
    Q_OBJECT
public:
    explicit ShiftHistoryWindow(QWidget* parent = nullptr);

    // Reads the shifts and their figures again. Throws AppError.
    void reload();
    const QList<Shifts::Closing>& shown() const { return m_shown; }

    // The slip of the selected shift, in the report preview.
    void SlipClick();

private:
    QTableWidget* m_grid = nullptr;
    QList<Shifts::Closing> m_shown;
};
