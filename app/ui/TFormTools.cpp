#include "app/ui/TFormTools.h"

#include "app/ui/TForm1.h"
#include "platform/ui/Guard.h"
#include "sessions/SessionSteps.h"
#include "platform/ui/Widgets.h"
#include "stations/ui/StationRow.h"

#include <QLabel>
#include <QTimer>

TFormTools::TFormTools(QWidget* parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("FormTools"));
    for (int i = 0; i < StationCount; ++i) {
        m_timers[i] = new QTimer(this);
        m_timers[i]->setObjectName(QStringLiteral("Timer%1").arg(i));
        m_timers[i]->setInterval(1000);
        // Coarse timers would let a tick drift by up to 5 %; a tick stands for one second.
        m_timers[i]->setTimerType(Qt::PreciseTimer);
        connect(m_timers[i], &QTimer::timeout, this, Guard::slot([this, i] { TimerTimer(i); }));
    }
}

CountdownState TFormTools::countdown(int index) const
{
    const StationRow& row = m_main->row(index);
    return {row.minutesDisplay()->text(), row.secondsDisplay()->text(), m_minuteDue.at(index), m_timers.at(index)->isActive()};
}

void TFormTools::setCountdown(int index, const CountdownState& state)
{
    const StationRow& row = m_main->row(index);
    Widgets::setCaption(row.minutesDisplay(), state.minutes);
    Widgets::setCaption(row.secondsDisplay(), state.seconds);
    m_minuteDue[index] = state.minuteDue;
    QTimer* timer = m_timers.at(index);
    if (!state.timerEnabled)
        timer->stop();
    else if (!timer->isActive())
        timer->start();
}

void TFormTools::TimerTimer(int index)
{
    CountdownState state = countdown(index);
    const bool reachable = SessionSteps::tick(state, m_memos.at(index), m_main->row(index).stationName());
    setCountdown(index, state);
    m_main->setLamp(index, reachable);
}
