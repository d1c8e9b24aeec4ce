#pragma once

#include <QColor>
#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QString>
#include <QWidget>

// Small helpers for placing named components at fixed pixel positions.
namespace Widgets {

// Labels show their text as it stands: a caption read from a file or a table is never taken as
// markup.
QLabel* label(QWidget* parent, const QString& name, const QString& caption, int left, int top);
// Changes a label's caption and size. The window reads right to left, so a label grows or shrinks
// on its left side and its right edge stays where it was placed.
void setCaption(QLabel* label, const QString& caption);
// A label in the given text colour.
QLabel* label(QWidget* parent, const QString& name, const QString& caption, int left, int top, const QColor& colour);
void setColour(QWidget* widget, const QColor& colour);
// A raised panel (or a borderless one) at its pixel geometry.
QFrame* panel(QWidget* parent, const QString& name, const QRect& geometry, bool bordered = true);
QPushButton* button(QWidget* parent, const QString& name, const QString& caption, int left, int top, int width, int height);

// A fixed-size window with a title bar and a close box only.
void makeFixedDialogWindow(QWidget* window, const QString& caption, int clientWidth, int clientHeight);
void centreOnScreen(QWidget* window);
void centreOn(QWidget* window, const QWidget* anchor);

} // namespace Widgets
