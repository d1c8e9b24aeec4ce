#pragma once

#include "stations/LineBuffer.h"

#include <QWidget>
#include <array>

class QTimer;

// The hidden tools window: twelve scratch line buffers for the command channel and the twelve
// one-second countdown timers. Never shown.
class TFormTools final : public QWidget
{
    Q_OBJECT
public:
    static constexpr int StationCount = 12;

    explicit TFormTools(QWidget* parent = nullptr);

    LineBuffer& memo(int index) { return m_memos.at(index); }
    QTimer* timer(int index) const { return m_timers.at(index); }

private:
    std::array<LineBuffer, StationCount> m_memos;
    std::array<QTimer*, StationCount> m_timers{};
};
