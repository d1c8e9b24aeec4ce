#pragma once

#include "accounting/Takings.h"
#include "accounting/TakingsReport.h"

#include <QWidget>
#include <optional>

class QComboBox;
class QDateEdit;
class QLabel;
class QTabWidget;
class QTableWidget;

// The owner's takings over a period: the figures against the period before, the charts, and the
// tables per day, station, hour of day and kind; preview, print, PDF and CSV of the same pages.
// Opened from the central control window. Reads the ledger afresh for every period shown and
// keeps no table open.
class TakingsWindow final : public QWidget
{
    Q_OBJECT
public:
    explicit TakingsWindow(QWidget* parent = nullptr);

    // Shows the window (or brings it to the front); the first time, with today's takings.
    void openWindow();

    // Puts the preset's dates in the range boxes and shows that period.
    void choosePreset(Takings::Preset preset);
    // Reads the ledger for the period in the range boxes and shows it. Throws AppError.
    void showPeriod();
    void setPeriod(const Takings::Period& period);
    const std::optional<Takings::Result>& result() const { return m_result; }

    // The pages shown, as the preview prints them and the PDF holds them.
    Report::Definition reportDefinition() const;
    QList<Report::Page> pages() const;
    // Writes the report as PDF, or one table as CSV, replacing the file whole; refuses what the
    // export refuses (a link, a device, a folder, one of the install's tables). Throws AppError.
    void savePdf(const QString& path) const;
    void saveCsv(TakingsReport::Table table, const QString& path) const;

    void PreviewClick();
    void PdfClick();
    void CsvClick(TakingsReport::Table table);

private:
    void fill();
    void requireResult() const;

    QComboBox* m_preset = nullptr;
    QDateEdit* m_from = nullptr;
    QDateEdit* m_to = nullptr;
    QLabel* m_period = nullptr;
    QLabel* m_notices = nullptr;
    QTableWidget* m_figures = nullptr;
    QTabWidget* m_tabs = nullptr;
    QWidget* m_charts = nullptr;
    QList<QTableWidget*> m_tables;
    std::optional<Takings::Result> m_result;
    bool m_shownOnce = false;
};
