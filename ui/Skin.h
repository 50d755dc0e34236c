#pragma once

#include <QByteArray>
#include <QColor>
#include <QRect>

class QPainter;

// The skin every window of the program is painted with: a horizontal gradient from light grey
// at the left edge to the skin colour at the right edge. The colour is chosen once per run
// from the channel package.
class Skin
{
public:
    static constexpr int kColourCount = 9;

    // The package folder's last digit chooses the colour ("…/package5/" gives 5); 3 and 9 give 3,
    // a non-digit gives 0.
    void SetSkinColourFromPackage(const QByteArray& packageFolderAddress);

    int SkinColourIndex() const { return m_skinColourIndex; }
    QColor SkinColour() const;

    // Fills `rect` column by column with the gradient.
    void FillSkinGradient(QPainter& painter, const QRect& rect) const;

    // The colour of column k (0-based from the left) of a gradient `width` pixels wide.
    static QColor GradientColumnColour(int k, int width, QColor start, QColor end);

    static QColor GradientStartColour() { return QColor(240, 240, 240); }

private:
    int m_skinColourIndex = 0;
};
