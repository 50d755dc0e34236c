#include "ui/OwnerDrawnBox.h"

#include <QFontMetrics>
#include <QPainter>
#include <algorithm>

namespace OwnerDrawnBox {

QColor OnColour()
{
    return QColor(0, 0, 0);
}

QColor OffColour()
{
    return QColor(204, 204, 204);
}

QRect BoxRect(QPoint topLeft)
{
    return QRect(topLeft, QSize(kBoxSize, kBoxSize));
}

QRect MarkRect(QPoint topLeft)
{
    return QRect(topLeft + QPoint(kMarkInset, kMarkInset), QSize(kMarkSize, kMarkSize));
}

QRect TextRect(const QRect& item)
{
    QRect text = item;
    text.setLeft(item.left() + kBoxSize + kTextGap);
    text.setRight(item.right() + kTextGap);
    return text;
}

void FrameRect(QPainter& painter, const QRect& rect, const QColor& colour)
{
    if (rect.isEmpty())
        return;
    painter.fillRect(QRect(rect.left(), rect.top(), rect.width(), 1), colour);
    painter.fillRect(QRect(rect.left(), rect.bottom(), rect.width(), 1), colour);
    painter.fillRect(QRect(rect.left(), rect.top(), 1, rect.height()), colour);
    painter.fillRect(QRect(rect.right(), rect.top(), 1, rect.height()), colour);
}

void Paint(QPainter& painter, const QRect& item, const QString& text, Mark mark, bool on)
{
    FrameRect(painter, BoxRect(item.topLeft()), OnColour());

    // The text starts at the top, left-aligned, and breaks only at line feeds.
    painter.setPen(OnColour());
    painter.drawText(TextRect(item), Qt::AlignLeft | Qt::AlignTop | Qt::TextShowMnemonic, text);

    const QColor markColour = on ? OnColour() : OffColour();
    if (mark == Mark::Framed)
        FrameRect(painter, MarkRect(item.topLeft()), markColour);
    else
        painter.fillRect(MarkRect(item.topLeft()), markColour);
}

QRect FocusRect(const QFontMetrics& metrics, const QRect& item, const QString& text)
{
    const QRect textRect = TextRect(item);
    const int textWidth = metrics.size(Qt::TextShowMnemonic, text).width();
    const QRect around(textRect.left() - 2, item.top(), textWidth + 5, metrics.height() + 1);
    return around.intersected(item);
}

QSize SizeHint(const QFontMetrics& metrics, const QString& text)
{
    const QSize textSize =
        metrics.size(Qt::TextShowMnemonic, text.isEmpty() ? QStringLiteral(" ") : text);
    return QSize(kBoxSize + kTextGap + textSize.width(), std::max(kBoxSize, textSize.height()));
}

} // namespace OwnerDrawnBox
