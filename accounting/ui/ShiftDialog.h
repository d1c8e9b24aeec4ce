#pragma once

#include "accounting/Shifts.h"

#include <QDialog>
#include <optional>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

// Opens a shift, closes it against the counted cash, or hands it over to the next operator (a
// close and an open in one step). With the owner's blind count the expected cash shows only once
// the count is confirmed, and the count cannot be changed after that.
class ShiftDialog final : public QDialog
{
    Q_OBJECT
public:
    enum class Mode { Open, Close, HandOver };
    // Reads the open shift and its figures; throws AppError when they cannot be read or when
    // there is no shift to close (or one already open).
    ShiftDialog(Mode mode, QWidget* parent = nullptr);

    void CountChange(); // the counted cash as typed
    void CountClick();  // blind count: confirms the count and shows the expected cash
    void OkClick();     // opens, closes or hands over; the dialog closes when it is done

    // What was done, once the dialog was accepted.
    const std::optional<Shifts::Opened>& opened() const { return m_opened; }
    const std::optional<Shifts::Closed>& closed() const { return m_closed; }

private:
    void showFigures(const std::optional<double>& counted);

    Mode m_mode;
    bool m_blind = false;
    bool m_counted = false;
    std::optional<Shifts::Closing> m_figures;
    QComboBox* m_nameBox = nullptr;
    QLineEdit* m_cashEdit = nullptr;
    QPushButton* m_countButton = nullptr;
    QPushButton* m_okButton = nullptr;
    QLabel* m_expectedLabel = nullptr;
    QLabel* m_differenceLabel = nullptr;
    std::optional<Shifts::Opened> m_opened;
    std::optional<Shifts::Closed> m_closed;
};
