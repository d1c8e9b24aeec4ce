#pragma once

#include <QWidget>

class MainWindow;

// The operating-mode chooser; the application's main form: closing it ends the program.
class ModeChooser final : public QWidget
{
    Q_OBJECT
public:
    explicit ModeChooser(QWidget* parent = nullptr);

    void setMainWindow(MainWindow* mainWindow) { m_main = mainWindow; }

    void BitBtn3Click(); // central control mode
    void BitBtn5Click(); // card mode

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    MainWindow* m_main = nullptr;
};
