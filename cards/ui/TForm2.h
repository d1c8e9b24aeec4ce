#pragma once

#include <QWidget>

// The card creator window. The console creates it hidden and never shows it; the card creator
// program ("Card.exe") uses it as its main window.
class TForm2 final : public QWidget
{
    Q_OBJECT
public:
    explicit TForm2(QWidget* parent = nullptr);
};
