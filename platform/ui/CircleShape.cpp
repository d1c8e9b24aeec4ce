#include "platform/ui/CircleShape.h"

#include <QPainter>

CircleShape::CircleShape(QWidget* parent, const QString& name, const QColor& fill)
    : QWidget(parent)
    , m_fill(fill)
{
    setObjectName(name);
}

void CircleShape::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(m_fill);
    const int diameter = qMin(width(), height());
    painter.drawEllipse(QRectF((width() - diameter) / 2.0, (height() - diameter) / 2.0, diameter, diameter));
}
