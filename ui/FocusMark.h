#pragma once

#include <QColor>
#include <QFocusFrame>
#include <QPointer>
#include <QRect>

// The focus mark of a skinned window: a dotted rectangle, in the colour the controls' texts are
// drawn in, on the control that has the keyboard focus.
//
//    .-----------------------.
//    | . . . . . . . . . . . |   push buttons and drop-down lists: 3 pixels inside the
//    | .        Hide       . |   control, clear of the frame the style draws
//    | . . . . . . . . . . . |   check box and option buttons: round their text
//    '-----------------------'   (OwnerDrawnBox::FocusRect); others: on their outer edge
//
// The dots alternate pixel by pixel (a dot where x + y is even), as the desktop's focus
// rectangle does. The mark shows once a key is pressed in the window and goes when a mouse
// button is pressed in it, so a mouse user sees the window as it always was. It lies above the
// control, lets every click through and is no control itself: screen readers skip a focus
// frame.
class FocusMark : public QFocusFrame
{
    Q_OBJECT

public:
    // `surface`: the window's client area, the parent of the controls it marks.
    explicit FocusMark(QWidget* surface);
    ~FocusMark() override;

    // The control that has the focus now (a child of the surface), or null.
    QWidget* Target() const { return m_target; }
    // Whether the mark is drawn now.
    bool Shown() const { return isVisible(); }

    // The rectangle drawn for `control`, in its own coordinates.
    static QRect MarkRect(const QWidget* control);
    static QColor Colour();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void Follow(QWidget* focus);
    void SetKeyboardUse(bool keyboard);
    // Lays the mark over the target, or hides it when there is nothing to mark.
    void Place();
    bool InMyWindow(QObject* object) const;

    QWidget* m_surface;
    QPointer<QWidget> m_target;
    bool m_keyboardUse = false;
};
