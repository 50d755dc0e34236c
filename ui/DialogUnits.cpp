#include "ui/DialogUnits.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <cmath>
#include <cstdlib>
#include <limits>

int MulDiv(int number, int numerator, int denominator)
{
    if (denominator == 0)
        return -1;
    const long long product = static_cast<long long>(number) * numerator;
    const long long half = std::llabs(static_cast<long long>(denominator)) / 2;
    // Halves round away from zero, whatever the signs.
    const bool negative = (product < 0) != (denominator < 0);
    const long long magnitude =
        (std::llabs(product) + half) / std::llabs(static_cast<long long>(denominator));
    const long long result = negative ? -magnitude : magnitude;
    if (result > std::numeric_limits<int>::max() || result < std::numeric_limits<int>::min())
        return -1;
    return static_cast<int>(result);
}

QRect DialogUnitsToPixels(const DialogRect& rect, qreal dpiScale)
{
    const auto scaled = [dpiScale](int value) {
        return static_cast<int>(std::lround(value * dpiScale));
    };
    // Each of the four values on its own, as the desktop's template loader converts them: edges
    // converted and subtracted would round twice and leave some controls a pixel narrow.
    return QRect(scaled(MulDiv(rect.x, 6, 4)), scaled(MulDiv(rect.y, 13, 8)),
                 scaled(MulDiv(rect.width, 6, 4)), scaled(MulDiv(rect.height, 13, 8)));
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
