#pragma once

#include "cards/CardNumber.h"
#include "platform/files/LineBuffer.h"

#include <QWidget>

class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QTableView;
class TableGridModel;
class TableStore;

// The card creator window. The console creates it hidden and never shows it; the card creator
// program ("Card.exe") uses it as its main window.
class CardCreatorWindow final : public QWidget
{
    Q_OBJECT
public:
    explicit CardCreatorWindow(QWidget* parent = nullptr);

    void Edit1KeyPress(QChar key);
    void Edit1KeyUp();
    void BitBtn1Click(); // create new cards
    void BitBtn2Click(); // save the card tariffs
    void Button1Click(); // use the temporary card table
    void Button2Click(); // use the main card table
    void Table1AfterPost();
    void Edit4Change();  // lookup by serial
    void BitBtn3Click(); // print the card report
    void BitBtn4Click(); // close

    LineBuffer& memo1() { return m_tariffBuffer; }
    TableStore* table1() const { return m_cards; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildListPanel();
    void buildCardPanel();
    void buildTariffGroup();

    const Cards::Category& selectedCategory() const;
    const Cards::Kind& selectedKind() const;
    QLineEdit* selectedTariffBox() const;

    TableStore* m_cards = nullptr;

    QTableView* m_grid = nullptr;
    TableGridModel* m_gridModel = nullptr;
    QLineEdit* m_countBox = nullptr;
    QLineEdit* m_gamesTariffBox = nullptr;
    QLineEdit* m_internetTariffBox = nullptr;
    QLineEdit* m_lookupBox = nullptr;
    QPushButton* m_generateButton = nullptr;
    QRadioButton* m_categoryButtons[4] = {};
    QRadioButton* m_kindButtons[2] = {};

    // Whether the last character typed into the count box was a digit.
    bool m_digitTyped = false;
    LineBuffer m_tariffBuffer{"Memo1\r\n"};
    Cards::CardRandom m_random;
};
