#pragma once

#include "install/Audit.h"

#include <QList>
#include <QWidget>

class QCheckBox;
class QComboBox;
class QLabel;
class QTableWidget;

// The owner's view of the audit record: the events, filtered by day, station and event, whether
// the chain is whole (and its head, to write down), and the list printed or saved as PDF.
class AuditWindow final : public QWidget
{
    Q_OBJECT
public:
    explicit AuditWindow(QWidget* parent = nullptr);

    // Reads the record again and shows it; throws AppError when it cannot be read.
    void reload();
    // The events the filter lets through, as shown.
    const QList<Audit::Row>& shown() const { return m_shown; }

    void FilterChange();
    void PrintClick();
    // Writes the list as shown to a PDF file; returns the number of pages. Throws AppError.
    int writePdf(const QString& fileName);
    void PdfClick();
    // The owner's PIN, set, changed or removed.
    void PinClick();
    // The blind count of the shifts, on or off.
    void BlindClick();

private:
    QString title() const;

    QComboBox* m_dayBox = nullptr;
    QComboBox* m_stationBox = nullptr;
    QComboBox* m_eventBox = nullptr;
    QLabel* m_chainLabel = nullptr;
    QCheckBox* m_blindBox = nullptr;
    QTableWidget* m_grid = nullptr;
    QList<Audit::Row> m_rows;
    QList<Audit::Row> m_shown;
};
