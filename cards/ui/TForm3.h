#pragma once

#include <QWidget>

// Hosts the printed card report. Never shown.
class TForm3 final : public QWidget
{
    Q_OBJECT
public:
    explicit TForm3(QWidget* parent = nullptr);
};
