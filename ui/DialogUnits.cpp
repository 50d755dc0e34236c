#include "ui/DialogUnits.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <cmath>

QRect DialogUnitsToPixels(const DialogRect& rect, qreal dpiScale)
{
    const auto scaled = [dpiScale](int value) {
        return static_cast<int>(std::lround(value * dpiScale));
    };
    const int left = scaled(rect.x * 6 / 4);
    const int top = scaled(rect.y * 13 / 8);
    const int right = scaled((rect.x + rect.width) * 6 / 4);
    const int bottom = scaled((rect.y + rect.height) * 13 / 8);
    return QRect(left, top, right - left, bottom - top);
}

qreal DpiScale(const QWidget* widget)
{
    const QScreen* screen = widget ? widget->screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return 1.0;
    const qreal dpi = screen->logicalDotsPerInch();
    return dpi > 0 ? dpi / 96.0 : 1.0;
}

namespace {
constexpr char kControlIdProperty[] = "wavelarkControlId";
}

void SetControlId(QWidget* control, int id)
{
    control->setProperty(kControlIdProperty, id);
}

QWidget* FindControl(const QWidget* dialog, int id)
{
    const auto children = dialog->findChildren<QWidget*>();
    for (QWidget* child : children) {
        const QVariant value = child->property(kControlIdProperty);
        if (value.isValid() && value.toInt() == id)
            return child;
    }
    return nullptr;
}

void PlaceControl(QWidget* control, int id, const DialogRect& rect, qreal dpiScale)
{
    SetControlId(control, id);
    control->setGeometry(DialogUnitsToPixels(rect, dpiScale));
}
