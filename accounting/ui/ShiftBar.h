#pragma once

#include <QWidget>

class QLabel;
class QPushButton;
class ShiftHistoryWindow;

// The shift's strip in the main window: who is on duty, and opening, closing, handing over a shift
// and the owner's list of shifts. A café that never opens a shift only sees "لا وردية مفتوحة".
class ShiftBar final : public QWidget
{
    Q_OBJECT
public:
    explicit ShiftBar(QWidget* parent = nullptr);

    // Reads the open shift again and sets the caption and the buttons. Throws AppError.
    void refresh();

    void OpenClick();
    void CloseClick();
    void HandOverClick();
    void HistoryClick();

    // The list of shifts, once opened.
    ShiftHistoryWindow* historyWindow() const { return m_history; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    void run(int mode);

    QLabel* m_caption = nullptr;
    QPushButton* m_open = nullptr;
    QPushButton* m_close = nullptr;
    QPushButton* m_handOver = nullptr;
    ShiftHistoryWindow* m_history = nullptr;
};
