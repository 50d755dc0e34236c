#pragma once

#include <QColor>
#include <QSlider>

class Skin;

// The volume slider: a horizontal slider whose background continues its parent's skin
// gradient at exactly the parent's columns, so no seam shows at its edges, and whose thumb is
// a flat rounded box:
//
//    .------.     outer box: rounded (2 x 2 corners), RGB(240, 240, 240), black outline
//    |------|     inner box: 2 pixels in from the top and the bottom, black outline, filled
//    |      |                with the skin colour while the thumb is pressed, under the mouse
//    |      |                or in keyboard use, and with RGB(240, 240, 240) otherwise
//    |------|
//    '------'
//
// Range, page step, position, keyboard and wheel are QSlider's own.
class CCoolSlider : public QSlider
{
    Q_OBJECT

public:
    // The active colour is the skin colour at construction.
    explicit CCoolSlider(const Skin& skin, QWidget* parent = nullptr);

    // Makes the slider a direct child of `window`, keeping its place on the screen. For a
    // skinned dialog that is its client area, the surface the gradient is painted on.
    void AttachToWindow(QWidget* window);

    // The thumb's rectangle in the slider's coordinates.
    QRect ThumbRect() const;
    // Whether the thumb shows the active colour now.
    bool ThumbActive() const;

    static QColor IdleColour() { return QColor(240, 240, 240); }
    QColor ActiveColour() const { return m_activeColour; }

Q_SIGNALS:
    // The user worked the slider: a key that moves it, the wheel, or a press or release of the
    // left button. Also at an end stop, where the position does not change; moves by dragging
    // report through valueChanged.
    void Scrolled(int position);

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    void SetThumbHot(bool hot);
    void PaintChannel(QPainter& painter, const QRect& thumb);
    void PaintTicks(QPainter& painter, const QRect& thumb);

    const Skin& m_skin;
    QColor m_activeColour;
    bool m_thumbHot = false;
    // Focus shows on the thumb only while the slider is worked from the keyboard; after a
    // mouse drag the thumb returns to its idle colour even though the focus stays.
    bool m_keyboardFocus = false;
};
