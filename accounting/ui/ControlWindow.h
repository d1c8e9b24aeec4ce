#pragma once

#include "accounting/Ledger.h"
#include "platform/files/LineBuffer.h"

#include <QWidget>

class AuditWindow;
class QLineEdit;
class QPushButton;
class QSplitter;
class QTableView;
class TakingsWindow;

// The central control window: the ledger day by day and the session tariffs in force. Created
// hidden; closing it hides it again.
class ControlWindow final : public QWidget
{
    Q_OBJECT
public:
    // Shows the console's ledger, which outlives the window.
    explicit ControlWindow(Ledger& ledger, QWidget* parent = nullptr);

    // Loads the tariff file into Memo1 and its first two lines into the tariff fields.
    void loadTariffs();

    // The window opens centred on the application's main form.
    void setMainForm(QWidget* mainForm) { m_mainForm = mainForm; }
    // Shows the window, or brings it to the front, then opens the ledger.
    void openWindow();

    void BitBtn12Click();      // recompute the daily totals
    void BitBtn2Click();       // save the tariffs
    void BitBtn14Click();      // close
    void BitBtnTakingsClick(); // the takings report
    void AuditButtonClick();   // the owner's view of the audit record
    // The takings window, once opened.
    TakingsWindow* takingsWindow() const { return m_takings; }
    void FormClose();

    // The tariff texts exactly as they stand in the fields, saved or not.
    QString gamesTariffText() const;
    QString internetTariffText() const;
    LineBuffer& memo1() { return m_tariffBuffer; }
    // The owner's view, once opened.
    AuditWindow* auditWindow() const { return m_auditWindow; }
    Ledger& ledger() { return m_ledger; }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    QWidget* m_mainForm = nullptr;
    QSplitter* m_splitter = nullptr;
    QTableView* m_daysGrid = nullptr;
    QTableView* m_entriesGrid = nullptr;
    QLineEdit* m_gamesTariffBox = nullptr;
    QLineEdit* m_internetTariffBox = nullptr;
    TakingsWindow* m_takings = nullptr;
    AuditWindow* m_auditWindow = nullptr;
    LineBuffer m_tariffBuffer{"Memo1\r\n"};
    Ledger& m_ledger;
};
