#pragma once

// For window tests only: the support library itself links no widgets.

#include <QApplication>
#include <QList>
#include <QPrintPreviewDialog>
#include <QPrintPreviewWidget>

// The report previews on screen now.
inline QList<QPrintPreviewDialog*> openPreviews()
{
    QList<QPrintPreviewDialog*> found;
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (auto* d = qobject_cast<QPrintPreviewDialog*>(w); d && d->isVisible())
            found.append(d);
    }
    return found;
}

inline int previewPageCount(QPrintPreviewDialog* dialog)
{
    return dialog->findChild<QPrintPreviewWidget*>()->pageCount();
}

inline void closePreviews()
{
    for (QPrintPreviewDialog* d : openPreviews())
        d->close();
}
