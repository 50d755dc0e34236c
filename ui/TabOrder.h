#pragma once

class QWidget;

// Chains the controls on `surface` (its direct children that take the focus by Tab) in reading
// order: top to bottom, and left to right where two start on the same row; after the last
// comes the first again. Hidden controls keep their place and are skipped while hidden. A
// window that has no focused control yet opens with the first one that can take the focus.
void SetReadingTabOrder(QWidget* surface);
