#pragma once

#include <QByteArray>
#include <QWidget>

// A text drawn transparently in black over its parent's gradient: centred horizontally,
// starting at the top, broken only at line feeds. Clicks on it do nothing.
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
};
