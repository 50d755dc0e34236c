#pragma once

#include <QAbstractButton>

// An owner-drawn check box: a framed 6 x 6 mark inside a 12 x 12 box, black when ticked and
// light grey when not (see OwnerDrawnBox). A click, Space while it has the focus, or a screen
// reader's "toggle" flips the tick. The box paints no background, so the parent's gradient
// shows through.
//
// The tick is the button's checked state, so that screen readers see a check box, hear it
// tick and can toggle it through the toolkit's own accessible button.
//
// The radio window's mute box connects Toggled to playback so that the player is muted
// exactly when the box is ticked.
class CCheckButton : public QAbstractButton
{
    Q_OBJECT

public:
    explicit CCheckButton(const QString& text, QWidget* parent = nullptr);

    int IsChecked() const { return m_bChecked; }

    // Flips the tick, reports it and repaints.
    void Toggle();
    // Takes the tick off without reporting it.
    void Clear() { SetChecked(0); }
    // Sets the tick (1 or 0) and repaints, without reporting: for restoring saved state.
    void SetChecked(int checked);

    QSize sizeHint() const override;

Q_SIGNALS:
    // Emitted by every Toggle (each click, Space or screen reader toggle), with the new tick.
    void Toggled(int checked);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void OnCheckedChanged(bool checked);

    int m_bChecked = 0;
    // Set while the tick changes without being reported.
    bool m_quiet = false;
};
