#pragma once

// For window tests only: the support library itself links no widgets.

#include "cards/ui/CardCreatorWindow.h"
#include "install/Tables.h"
#include "platform/ui/MessageBoxes.h"
#include "support/TestPrefix.h"

#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QtTest>

#include <memory>

// The card creator on an install with both card tables, its message boxes recorded.
class CardCreatorFixture
{
protected:
    // The install and its card tables; what a test adds before the window opens goes between.
    void makeCardInstall()
    {
        m_prefix = std::make_unique<TestPrefix>();
        m_prefix->makeInstallTree();
        Tables::create(Tables::mainCards());
        Tables::create(Tables::tempCards());
    }
    void openCreator()
    {
        m_boxes.clear();
        MessageBoxes::setRecorderForTests([this](const MessageBoxes::Shown& box) { m_boxes.append(box); });
        m_form = std::make_unique<CardCreatorWindow>();
        m_form->show();
    }
    void closeCreator()
    {
        m_form.reset();
        MessageBoxes::setRecorderForTests({});
        m_prefix.reset();
    }

    template <typename T = QWidget>
    T* find(const char* name) const
    {
        T* w = m_form->findChild<T*>(QString::fromLatin1(name));
        if (!w)
            qFatal("no component %s", name);
        return w;
    }
    void click(const char* name) { QTest::mouseClick(find<QPushButton>(name), Qt::LeftButton); }
    void generate(const QString& count)
    {
        find<QLineEdit>("Edit1")->setText(count);
        click("BitBtn1");
    }
    // A run of games cards during which the operator switches to internet cards, once a card shows.
    void generateSwitchingToInternet(const QString& count)
    {
        auto* generateButton = find<QPushButton>("BitBtn1");
        QTimer operatorHand;
        QObject::connect(&operatorHand, &QTimer::timeout, &operatorHand, [&] {
            if (generateButton->text().front().isDigit())
                find<QRadioButton>("RadioButton6")->setChecked(true);
        });
        operatorHand.start(0);
        generate(count);
        operatorHand.stop();
    }

    std::unique_ptr<TestPrefix> m_prefix;
    std::unique_ptr<CardCreatorWindow> m_form;
    QList<MessageBoxes::Shown> m_boxes;
};
