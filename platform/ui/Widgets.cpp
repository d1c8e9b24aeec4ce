#include "platform/ui/Widgets.h"

#include <QGuiApplication>
#include <QScreen>

namespace Widgets {

QLabel* label(QWidget* parent, const QString& name, const QString& caption, int left, int top)
{
    auto* l = new QLabel(parent);
    l->setTextFormat(Qt::PlainText);
    l->setText(caption);
    l->setObjectName(name);
    l->adjustSize();
    l->move(left, top);
    return l;
}

QLabel* label(QWidget* parent, const QString& name, const QString& caption, int left, int top, const QColor& colour)
{
    auto* l = label(parent, name, caption, left, top);
    setColour(l, colour);
    return l;
}

void setColour(QWidget* widget, const QColor& colour)
{
    QPalette palette = widget->palette();
    palette.setColor(QPalette::WindowText, colour);
    widget->setPalette(palette);
}

void setCaption(QLabel* label, const QString& caption)
{
    const int right = label->x() + label->width();
    label->setText(caption);
    label->adjustSize();
    label->move(right - label->width(), label->y());
}

QFrame* panel(QWidget* parent, const QString& name, const QRect& geometry, bool bordered)
{
    auto* p = new QFrame(parent);
    p->setObjectName(name);
    if (bordered) {
        p->setFrameShape(QFrame::Panel);
        p->setFrameShadow(QFrame::Raised);
    }
    p->setGeometry(geometry);
    return p;
}

QPushButton* button(QWidget* parent, const QString& name, const QString& caption, int left, int top, int width, int height)
{
    auto* b = new QPushButton(caption, parent);
    b->setObjectName(name);
    b->setGeometry(left, top, width, height);
    return b;
}

void makeFixedDialogWindow(QWidget* window, const QString& caption, int clientWidth, int clientHeight)
{
    window->setWindowTitle(caption);
    window->setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    window->setFixedSize(clientWidth, clientHeight);
}

void centreOnScreen(QWidget* window)
{
    const QScreen* screen = window->screen() ? window->screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRect area = screen->availableGeometry();
    window->move(area.center() - QPoint(window->width() / 2, window->height() / 2));
}

void centreOn(QWidget* window, const QWidget* anchor)
{
    const QRect frame = anchor->frameGeometry();
    window->move(frame.center() - QPoint(window->width() / 2, window->height() / 2));
}

} // namespace Widgets
