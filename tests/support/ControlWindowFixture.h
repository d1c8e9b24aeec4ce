#pragma once

// For window tests only: the support library itself links no widgets.

#include "accounting/Ledger.h"
#include "accounting/ui/ControlWindow.h"
#include "install/InstallPaths.h"
#include "platform/Clock.h"
#include "platform/Regional.h"
#include "platform/ui/MessageBoxes.h"
#include "support/TestPrefix.h"

#include <QLineEdit>
#include <QPushButton>

#include <memory>

// The central control window open on an install with its ledger and the tariff file given, the
// regional formats pinned and its message boxes recorded.
class ControlWindowFixture
{
protected:
    void openControlWindow(const QByteArray& tariffFile)
    {
        m_prefix = std::make_unique<TestPrefix>();
        m_prefix->makeTables();
        m_prefix->writeFile(InstallPaths::TariffFile, tariffFile);
        Regional::setOverride(Regional::Formats{"dd/MM/yyyy", "hh:mm:ss", '.'});
        m_boxes.clear();
        MessageBoxes::setRecorderForTests([this](const MessageBoxes::Shown& box) { m_boxes.append(box); });
        m_ledger = std::make_unique<Ledger>();
        m_window = std::make_unique<ControlWindow>(*m_ledger);
        m_window->loadTariffs();
        m_window->openWindow();
    }
    void closeControlWindow()
    {
        m_window.reset();
        m_ledger.reset();
        MessageBoxes::setRecorderForTests({});
        Regional::setOverride(std::nullopt);
        Clock::setFixed({});
        m_prefix.reset();
    }

    QLineEdit* edit(const char* name) { return m_window->findChild<QLineEdit*>(name); }
    QPushButton* button(const char* name) { return m_window->findChild<QPushButton*>(name); }

    std::unique_ptr<TestPrefix> m_prefix;
    std::unique_ptr<Ledger> m_ledger;
    std::unique_ptr<ControlWindow> m_window;
    QList<MessageBoxes::Shown> m_boxes;
};
