#include "ui/GroupBox.h"

#include "app/AnsiText.h"
#include "ui/AccessibleControls.h"

#include <QAccessible>
#include <QFontMetrics>
#include <QPainter>

CGroupBox::CGroupBox(const QByteArray& caption, QWidget* parent)
    : QWidget(parent), m_caption(caption), m_font(font())
{
    InstallAccessibleControls();
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

void CGroupBox::SetCaption(const QByteArray& caption)
{
    if (caption == m_caption)
        return;
    m_caption = caption;
    update();
    // A screen reader reading the window hears the new words.
    QAccessibleEvent event(this, QAccessible::NameChanged);
    QAccessible::updateAccessibility(&event);
}

QRect CGroupBox::TopLineGap(const QRect& client, int captionWidth, int lineY)
{
    if (captionWidth <= 0)
        return QRect();
    const int start = client.left() + kGapStart;
    const int end = client.left() + captionWidth + kGapAfterCaption;
    return QRect(start, lineY, end - start, 1);
}

void CGroupBox::paintEvent(QPaintEvent* /*event*/)
{
    QPainter painter(this);
    painter.setFont(m_font);
    const QString caption = DecodeAnsi(m_caption);
    const QFontMetrics metrics(m_font);
    const int captionWidth = caption.isEmpty() ? 0 : metrics.horizontalAdvance(caption);
    const int lineY = metrics.height() / 2;

    const QRect client = rect();
    const QColor black(0, 0, 0);
    const int frameHeight = client.height() - lineY;
    painter.fillRect(QRect(client.left(), lineY, 1, frameHeight), black);
    painter.fillRect(QRect(client.right(), lineY, 1, frameHeight), black);
    painter.fillRect(QRect(client.left(), client.bottom(), client.width(), 1), black);

    const QRect gap = TopLineGap(client, captionWidth, lineY);
    if (gap.isEmpty()) {
        painter.fillRect(QRect(client.left(), lineY, client.width(), 1), black);
    } else {
        painter.fillRect(QRect(client.left(), lineY, gap.left() - client.left(), 1), black);
        const int rest = client.right() - gap.right();
        if (rest > 0)
            painter.fillRect(QRect(gap.right() + 1, lineY, rest, 1), black);
    }

    painter.setPen(black);
    // As the desktop's text drawing: "&" marks the next letter as a mnemonic, "&&" is one "&".
    painter.drawText(client.adjusted(kCaptionLeft, 0, 0, 0),
                     Qt::AlignLeft | Qt::AlignTop | Qt::TextShowMnemonic, caption);
}
