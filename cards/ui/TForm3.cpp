#include "cards/ui/TForm3.h"

TForm3::TForm3(QWidget* parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("Form3"));
}
