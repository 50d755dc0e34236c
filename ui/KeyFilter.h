#pragma once

#include <QObject>

// Swallows Escape and Alt in the program's dialogs, so Escape never closes one and Alt opens
// nothing; Enter still presses the default button. Tab and Shift+Tab pass: without them a
// keyboard user could not reach a single control.
class KeyFilter : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
};
