#pragma once

#include <QWidget>

class TForm1;

// The operating-mode chooser; the application's main form: closing it ends the program.
class TForm6 final : public QWidget
{
    Q_OBJECT
public:
    explicit TForm6(QWidget* parent = nullptr);

    void setMainWindow(TForm1* mainWindow) { m_main = mainWindow; }

    void BitBtn3Click(); // central control mode
    void BitBtn5Click(); // card mode

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    TForm1* m_main = nullptr;
};
