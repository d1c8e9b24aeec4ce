#include "accounting/ui/TFormControl.h"

#include "app/Settings.h"
#include "platform/ui/Widgets.h"

#include <QGroupBox>
#include <QLineEdit>

TFormControl::TFormControl(QWidget* parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("FormControl"));
    Widgets::makeFixedDialogWindow(this, QStringLiteral("التحكم المركزي"), 425, 451);
    setWindowFlag(Qt::WindowStaysOnTopHint);
    setLayoutDirection(Qt::RightToLeft);
    setFont(QFont(QStringLiteral("MS Sans Serif"), 8));

    auto* group = new QGroupBox(QStringLiteral("التعرفة لكل دقيقة"), this);
    group->setObjectName(QStringLiteral("GroupBox1"));
    group->setGeometry(8, 360, 409, 50);
    Widgets::label(group, QStringLiteral("LabelGames"), QStringLiteral("ألعاب"), 360, 22);
    m_edit2 = new QLineEdit(QStringLiteral("0.5"), group);
    m_edit2->setObjectName(QStringLiteral("Edit2"));
    m_edit2->setGeometry(290, 18, 60, 21);
    Widgets::label(group, QStringLiteral("LabelInternet"), QStringLiteral("أنترنيت"), 230, 22);
    m_edit3 = new QLineEdit(QStringLiteral("0.5"), group);
    m_edit3->setObjectName(QStringLiteral("Edit3"));
    m_edit3->setGeometry(160, 18, 60, 21);
}

void TFormControl::loadTariffs()
{
    const Settings::Tariffs tariffs = Settings::loadTariffs(m_memo1);
    m_edit2->setText(tariffs.games);
    m_edit3->setText(tariffs.internet);
}

void TFormControl::saveTariffs()
{
    Settings::saveTariffs(m_memo1, {m_edit2->text(), m_edit3->text()});
}

void TFormControl::openWindow()
{
    show();
    raise();
    activateWindow();
}

QString TFormControl::gamesTariffText() const
{
    return m_edit2->text();
}

QString TFormControl::internetTariffText() const
{
    return m_edit3->text();
}
