#include "ui/SkinCursors.h"

#include "ui/CoolSlider.h"

#include <QAbstractButton>
#include <QEvent>
#include <QWidget>

namespace {

void SetHandCursors(QWidget* window, HandCursorRule rule)
{
    const auto controls = window->findChildren<QWidget*>();
    for (QWidget* control : controls) {
        if (TakesHandCursor(control, rule))
            control->setCursor(Qt::PointingHandCursor);
    }
}

// Applies the rule again when the window is shown.
class HandCursorKeeper : public QObject
{
public:
    HandCursorKeeper(QWidget* window, HandCursorRule rule) : QObject(window), m_rule(rule) {}

    void SetRule(HandCursorRule rule) { m_rule = rule; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Show && watched == parent())
            SetHandCursors(static_cast<QWidget*>(watched), m_rule);
        return false;
    }

private:
    HandCursorRule m_rule;
};

} // namespace

bool TakesHandCursor(const QWidget* control, HandCursorRule rule)
{
    if (qobject_cast<const QAbstractButton*>(control))
        return true;
    return rule == HandCursorRule::ButtonsAndSliders && qobject_cast<const CCoolSlider*>(control);
}

void ApplyHandCursors(QWidget* window, HandCursorRule rule)
{
    if (!window)
        return;
    SetHandCursors(window, rule);
    for (QObject* child : window->children()) {
        if (auto* keeper = dynamic_cast<HandCursorKeeper*>(child)) {
            keeper->SetRule(rule);
            return;
        }
    }
    window->installEventFilter(new HandCursorKeeper(window, rule));
}
