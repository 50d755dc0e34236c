#include "ui/Skin.h"

#include <QPainter>

namespace {

constexpr QRgb kSkinColours[Skin::kColourCount] = {
    qRgb(182, 189, 190), qRgb(220, 220, 180), qRgb(181, 196, 176),
    qRgb(200, 210, 140), qRgb(244, 228, 252), qRgb(251, 233, 172),
    qRgb(182, 201, 250), qRgb(188, 197, 194), qRgb(255, 116, 79),
};

// Per channel B + (A - B) * (w - k) / w, truncated toward zero like the integer division it is.
int Blend(int a, int b, int k, int w)
{
    return b + (a - b) * (w - k) / w;
}

} // namespace

void Skin::SetSkinColourFromPackage(const QByteArray& packageFolderAddress)
{
    QByteArray address = packageFolderAddress;
    if (address.endsWith('/'))
        address.chop(1);
    const char last = address.isEmpty() ? '\0' : address.back();
    const int digit = (last >= '0' && last <= '9') ? last - '0' : 0;
    m_skinColourIndex = (digit == 3 || digit == 9) ? 3 : digit;
}

QColor Skin::SkinColour() const
{
    return QColor::fromRgb(kSkinColours[m_skinColourIndex]);
}

QColor Skin::GradientColumnColour(int k, int width, QColor start, QColor end)
{
    return QColor(Blend(start.red(), end.red(), k, width),
                  Blend(start.green(), end.green(), k, width),
                  Blend(start.blue(), end.blue(), k, width));
}

void Skin::FillSkinGradient(QPainter& painter, const QRect& rect) const
{
    const int width = rect.width();
    if (width <= 0)
        return;
    const QColor start = GradientStartColour();
    const QColor end = SkinColour();
    for (int k = 0; k < width; ++k)
        painter.fillRect(rect.left() + k, rect.top(), 1, rect.height(),
                         GradientColumnColour(k, width, start, end));
}
