#pragma once

#include <QLineEdit>

// The radio window's one-line search field: white inside a thin black frame, as the window's
// group boxes are edged, with the grey cue "Search" while it is empty. It reports the keys that
// leave it (Down into the results, Enter to play, Escape to give up) instead of handing them to the
// window: Enter must not press the window's default button, and the program's dialogs otherwise
// swallow Escape.
class CSearchField : public QLineEdit
{
    Q_OBJECT

public:
    explicit CSearchField(QWidget* parent = nullptr);
    ~CSearchField() override;

Q_SIGNALS:
    // Down was pressed in the field.
    void DownPressed();
    // Enter or Return was pressed in the field.
    void EnterPressed();
    // Escape was pressed in the field.
    void EscapePressed();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
};
