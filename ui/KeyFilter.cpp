#include "ui/KeyFilter.h"

#include <QDialog>
#include <QKeyEvent>
#include <QWidget>

bool KeyFilter::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() != QEvent::KeyPress)
        return false;
    const auto* widget = qobject_cast<QWidget*>(watched);
    if (!widget || !qobject_cast<QDialog*>(widget->window()))
        return false;
    switch (static_cast<QKeyEvent*>(event)->key()) {
    case Qt::Key_Escape:
    case Qt::Key_Alt:
    case Qt::Key_AltGr:
        return true;
    default:
        return false;
    }
}
