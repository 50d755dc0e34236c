#pragma once

#include <QByteArray>
#include <QFont>
#include <QWidget>

// A text drawn transparently in black over its parent's gradient: centred horizontally,
// starting at the top, broken only at line feeds. Clicks go through it to the window below.
class CColorStatic : public QWidget
{
    Q_OBJECT

public:
    explicit CColorStatic(QWidget* parent = nullptr);

    // The text as 8-bit bytes; it is decoded as Windows-1252 for display.
    void SetText(const QByteArray& text);
    QByteArray Text() const { return m_text; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QByteArray m_text;
    // The font the control had when it was made, kept for painting.
    QFont m_font;
};
