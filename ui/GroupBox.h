#pragma once

#include <QByteArray>
#include <QFont>
#include <QWidget>

// A group frame in 1-pixel black lines with its caption set into the top line:
//
//   ----- Caption ------------------     the top line lies at half the caption's height;
//   |                              |     the caption starts 10 pixels in, with a 5-pixel gap
//   |                              |     on each side; an empty caption leaves the line whole
//   --------------------------------
//
// It paints no background and lets clicks through to the window below, which is dragged by
// its body.
class CGroupBox : public QWidget
{
    Q_OBJECT

public:
    static constexpr int kGapStart = 5;
    static constexpr int kCaptionLeft = 10;
    static constexpr int kGapAfterCaption = 15; // from the left edge, plus the caption's width

    // `caption` is 8-bit text, shown decoded as Windows-1252.
    explicit CGroupBox(const QByteArray& caption, QWidget* parent = nullptr);

    void SetCaption(const QByteArray& caption);
    QByteArray Caption() const { return m_caption; }

    // Where the top line is interrupted for a caption `captionWidth` pixels wide: from
    // left + 5 up to, not including, left + captionWidth + 15. Empty for an empty caption.
    static QRect TopLineGap(const QRect& client, int captionWidth, int lineY);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QByteArray m_caption;
    // The font the box had when it was made, kept for painting.
    QFont m_font;
};
