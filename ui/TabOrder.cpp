#include "ui/TabOrder.h"

#include <QWidget>
#include <algorithm>

void SetReadingTabOrder(QWidget* surface)
{
    if (!surface)
        return;
    QList<QWidget*> controls;
    for (QObject* child : surface->children()) {
        auto* control = qobject_cast<QWidget*>(child);
        if (control && !control->isWindow() && (control->focusPolicy() & Qt::TabFocus))
            controls.append(control);
    }
    std::stable_sort(controls.begin(), controls.end(), [](const QWidget* a, const QWidget* b) {
        const QPoint pa = a->pos(), pb = b->pos();
        return pa.y() != pb.y() ? pa.y() < pb.y() : pa.x() < pb.x();
    });
    for (qsizetype i = 1; i < controls.size(); ++i)
        QWidget::setTabOrder(controls[i - 1], controls[i]);
    // The chain is a ring through the window itself, which may lie anywhere in it: the window
    // would open with whatever control follows it. It opens with the first one instead.
    QWidget* window = surface->window();
    if (window->focusWidget())
        return;
    for (QWidget* control : controls) {
        if (!control->isHidden() && control->isEnabled()) {
            control->setFocus(Qt::OtherFocusReason);
            return;
        }
    }
}
