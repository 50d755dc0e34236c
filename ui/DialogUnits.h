#pragma once

#include <QRect>

class QWidget;

// A control's place in a dialog template, in dialog units.
struct DialogRect
{
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
};

// number * numerator / denominator rounded to the nearest whole number, halves away from zero,
// computed without overflow; -1 when the denominator is 0 or the result is no int. Dialog units
// become pixels this way.
int MulDiv(int number, int numerator, int denominator);

// Dialog units to pixels for the dialog font's base units (6 x 13 at 96 DPI), scaled for the
// screen's logical DPI. Place and size are converted each on its own.
QRect DialogUnitsToPixels(const DialogRect& rect, qreal dpiScale = 1.0);

// The logical DPI of the widget's screen over 96; with no widget, of the primary screen, where
// a window without a parent opens. Fonts follow the logical DPI, so geometry scaled by it keeps
// the texts inside their controls.
qreal DpiScale(const QWidget* widget);

// Controls keep the numeric identifiers of their dialog templates, so tests and callers can
// find them the way the dialog tables name them.
void SetControlId(QWidget* control, int id);
QWidget* FindControl(const QWidget* dialog, int id);

// Places `control` at its template rectangle and tags it with its identifier.
void PlaceControl(QWidget* control, int id, const DialogRect& rect, qreal dpiScale);
