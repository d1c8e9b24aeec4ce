#include "app/ui/TFormTools.h"

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
    }
}
