#pragma once

#include <QColor>
#include <QWidget>

// A filled circle without outline, centred in its bounds with the diameter of the shorter side.
class CircleShape final : public QWidget
{
    Q_OBJECT
public:
    CircleShape(QWidget* parent, const QString& name, const QColor& fill);

    QColor fill() const { return m_fill; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QColor m_fill;
};
