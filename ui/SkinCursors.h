#pragma once

class QWidget;

// Which controls of a window show the pointing hand.
enum class HandCursorRule {
    ButtonsAndSliders, // the radio window and the message dialog
    ButtonsOnly,       // the about dialog
};

// Whether `control` shows the pointing hand under `rule`: buttons of every kind (push, check
// and option buttons), and under ButtonsAndSliders the skinned volume slider too.
bool TakesHandCursor(const QWidget* control, HandCursorRule rule);

// Gives the pointing hand to every control of `window` that takes it, now and again each time
// the window is shown (controls added before showing are covered too).
void ApplyHandCursors(QWidget* window, HandCursorRule rule);
