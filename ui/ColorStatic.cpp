#include "ui/ColorStatic.h"

#include "app/AnsiText.h"
#include "ui/AccessibleControls.h"

#include <QAccessible>
#include <QPainter>

CColorStatic::CColorStatic(QWidget* parent) : QWidget(parent), m_font(font())
{
    InstallAccessibleControls();
    setAttribute(Qt::WA_TranslucentBackground);
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

void CColorStatic::SetText(const QByteArray& text)
{
    if (text == m_text)
        return;
    m_text = text;
    update();
    // A screen reader reading the window hears the new words.
    QAccessibleEvent event(this, QAccessible::NameChanged);
    QAccessible::updateAccessibility(&event);
}

void CColorStatic::paintEvent(QPaintEvent* /*event*/)
{
    QPainter painter(this);
    painter.setFont(m_font);
    painter.setPen(Qt::black);
    const QStringList lines = DecodeAnsi(m_text).split(QLatin1Char('\n'));
    const int lineHeight = painter.fontMetrics().height();
    int top = 0;
    for (const QString& line : lines) {
        // As the desktop's text drawing: "&" marks the next letter as a mnemonic, "&&" is
        // one "&".
        painter.drawText(QRect(0, top, width(), lineHeight),
                         Qt::AlignHCenter | Qt::AlignTop | Qt::TextDontClip | Qt::TextShowMnemonic,
                         line);
        top += lineHeight;
    }
}
