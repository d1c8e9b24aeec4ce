#include "install/ui/OwnerPinPrompt.h"

#include "install/OwnerPin.h"
#include "platform/ui/MessageBoxes.h"

#include <QInputDialog>
#include <QLineEdit>

namespace OwnerPinPrompt {

namespace {

std::optional<QString> askText(QWidget* parent, const QString& name, const QString& label)
{
    QInputDialog dialog(parent);
    dialog.setObjectName(name);
    dialog.setWindowTitle(QStringLiteral("رمز المالك"));
    dialog.setLayoutDirection(Qt::RightToLeft);
    dialog.setLabelText(label);
    dialog.setTextEchoMode(QLineEdit::Password);
    dialog.setOkButtonText(QStringLiteral("موافق"));
    dialog.setCancelButtonText(QStringLiteral("إلغاء"));
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return dialog.textValue();
}

} // namespace

bool ask(QWidget* parent, const QString& what)
{
    if (!OwnerPin::isSet())
        return true;
    const std::optional<QString> pin = askText(parent, QStringLiteral("OwnerPinDialog"), QStringLiteral("رمز المالك:"));
    if (!pin)
        return false;
    if (OwnerPin::check(*pin, what))
        return true;
    MessageBoxes::showError(QStringLiteral("رمز المالك غير صحيح"));
    return false;
}

bool change(QWidget* parent)
{
    const std::optional<QString> first = askText(parent, QStringLiteral("NewPinDialog"),
                                                 QStringLiteral("رمز المالك الجديد (فارغ لإلغاء الرمز):"));
    if (!first)
        return false;
    const std::optional<QString> second = askText(parent, QStringLiteral("RepeatPinDialog"),
                                                  QStringLiteral("أعد كتابة رمز المالك الجديد:"));
    if (!second)
        return false;
    if (*first != *second) {
        MessageBoxes::showError(QStringLiteral("الرمزان مختلفان: لم يتغير رمز المالك"));
        return false;
    }
    if (const std::optional<QString> problem = OwnerPin::change(*first))
        MessageBoxes::showError(*problem);
    MessageBoxes::showMessage(first->isEmpty() ? QStringLiteral("أُلغي رمز المالك.") : QStringLiteral("حُفظ رمز المالك."));
    return true;
}

} // namespace OwnerPinPrompt
