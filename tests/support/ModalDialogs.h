#pragma once

// For window tests only: the support library itself links no widgets.

#include <QApplication>
#include <QPointer>
#include <QTimer>
#include <functional>

// Runs what the test does in the next modal dialog once it shows (inside the dialog's own loop),
// the way an operator would: the test types and clicks into it, and it closes as it would then.
// Polls so that a dialog opened after other work of the handler is found too.
inline void onNextModal(std::function<void(QWidget*)> act, QWidget* except = nullptr)
{
    auto* timer = new QTimer;
    timer->setInterval(5);
    QObject::connect(timer, &QTimer::timeout, [timer, act = std::move(act), except] {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal || modal == except || !modal->isVisible())
            return;
        timer->stop();
        timer->deleteLater();
        act(modal);
    });
    timer->start();
}
