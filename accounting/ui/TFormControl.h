#pragma once

#include "stations/LineBuffer.h"

#include <QWidget>

class QLineEdit;

// The central control window: the ledger and the session tariffs in force.
class TFormControl final : public QWidget
{
    Q_OBJECT
public:
    explicit TFormControl(QWidget* parent = nullptr);

    // Loads the tariff file into Memo1 and its first two lines into the tariff fields.
    void loadTariffs();
    // Saves the tariff fields, as typed, into the tariff file as last loaded.
    void saveTariffs();

    // Shows the window, or brings it to the front.
    void openWindow();

    QString gamesTariffText() const;
    QString internetTariffText() const;
    LineBuffer& memo1() { return m_memo1; }

private:
    QLineEdit* m_edit2 = nullptr;
    QLineEdit* m_edit3 = nullptr;
    LineBuffer m_memo1{"Memo1\r\n"};
};
