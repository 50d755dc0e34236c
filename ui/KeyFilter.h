#pragma once

#include <QObject>

// Swallows Escape, Tab and Alt in the program's dialogs, so Escape never closes one and Tab
// never moves the focus; Enter still presses the default button.
class KeyFilter : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
};
