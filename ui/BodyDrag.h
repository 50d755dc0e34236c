#pragma once

#include <QList>
#include <QObject>
#include <QPoint>
#include <QPointer>

class QAbstractButton;
class QMouseEvent;
class QWidget;

// The behaviour of a captionless window that is handled by its body (its background and the
// labels and frames painted on it, which let clicks through), never by its controls:
//
// - the open hand is the window's cursor; controls keep their own;
// - with Mode::MoveWindow a left press on the body shows the closed hand and moves the window
//   with the mouse (the window system's move, or a plain follow-the-mouse move where the
//   window system offers none); releasing the button shows the open hand again;
// - a mouse move over the body sets the listed push buttons to their not-pushed look.
//
// Installed on the window; owned by it.
class BodyDrag : public QObject
{
    Q_OBJECT

public:
    enum class Mode {
        MoveWindow, // the radio window
        CursorOnly, // the about dialog: the cursors and button rule, but no moving
    };

    // The body is `window` itself and, for a skinned dialog, its client area.
    explicit BodyDrag(QWidget* window, Mode mode = Mode::MoveWindow);

    // Another widget that counts as body, such as a plain panel the controls sit on.
    void AddBody(QWidget* body);

    // The push buttons that a mouse move over the body sets to not-pushed.
    void SetUnpushedOnMove(const QList<QAbstractButton*>& buttons);

    // Whether the point (in `m_window`'s coordinates) lies on the body rather than a control.
    bool IsBody(QPoint windowPos) const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Press(QMouseEvent* event);
    void Move(QMouseEvent* event);
    void Release(QMouseEvent* event);

    QWidget* m_window;
    Mode m_mode;
    QList<QWidget*> m_bodies;
    QList<QPointer<QAbstractButton>> m_unpushed;
    bool m_following = false; // moving the window ourselves
    QPoint m_grabOffset;      // the press point's offset from the window's position
};
