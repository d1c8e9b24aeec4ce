#pragma once

#include "stations/LineBuffer.h"

#include <QWidget>

class QLabel;
class QPushButton;
class QFrame;
class TForm6;
class TFormControl;
class TFormTools;

// The main window, the station console. Closing it only hides it; the process goes on.
class TForm1 final : public QWidget
{
    Q_OBJECT
public:
    explicit TForm1(QWidget* parent = nullptr);

    void attach(TForm6* chooser, TFormTools* tools, TFormControl* control);

    // Makes the window visible; the show sequence runs before this returns, and its errors are
    // reported in the error box without stopping the caller.
    void showConsole();
    // Hides what card mode does not use. Nothing shows it again while the process runs.
    void hideCardModeSet();

    void FormShow();
    void BitBtn1Click(); // card creator
    void BitBtn4Click(); // central control window
    void BitBtn2Click(); // restart

    LineBuffer& rosterBuffer() { return m_memo2; }
    LineBuffer& probeBuffer() { return m_memo1; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    TForm6* m_chooser = nullptr;
    TFormTools* m_tools = nullptr;
    TFormControl* m_control = nullptr;

    QFrame* m_panel2 = nullptr;
    QLabel* m_label8 = nullptr;

    LineBuffer m_memo1{"Memo1\r\n"}; // ProbeBuffer
    LineBuffer m_memo2{"Memo2\r\n"}; // RosterBuffer
};
