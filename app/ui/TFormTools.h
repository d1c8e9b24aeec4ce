#pragma once

#include "platform/LineBuffer.h"
#include "sessions/Countdown.h"

#include <QWidget>
#include <array>

class QTimer;
class TForm1;

// The hidden tools window: twelve scratch line buffers for the command channel and the twelve
// one-second countdown timers. Never shown.
class TFormTools final : public QWidget
{
    Q_OBJECT
public:
    static constexpr int StationCount = 12;

    explicit TFormTools(QWidget* parent = nullptr);

    void setMainWindow(TForm1* mainWindow) { m_main = mainWindow; }

    // A station's countdown as its row shows it: the two captions, MinuteDue and the timer.
    CountdownState countdown(int index) const;
    // Puts a countdown back into the row's captions, MinuteDue and the timer. A timer that runs
    // already keeps its rhythm.
    void setCountdown(int index, const CountdownState& state);

    // One second of station index's session.
    void TimerTimer(int index);

    LineBuffer& memo(int index) { return m_memos.at(index); }
    QTimer* timer(int index) const { return m_timers.at(index); }

private:
    std::array<LineBuffer, StationCount> m_memos;
    std::array<QTimer*, StationCount> m_timers{};
    std::array<bool, StationCount> m_minuteDue{};
    TForm1* m_main = nullptr;
};
