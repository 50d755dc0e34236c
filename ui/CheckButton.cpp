#include "ui/CheckButton.h"

#include "ui/OwnerDrawnBox.h"

#include <QPainter>

CCheckButton::CCheckButton(const QString& text, QWidget* parent) : QAbstractButton(parent)
{
    setText(text);
    connect(this, &QAbstractButton::clicked, this, &CCheckButton::Toggle);
}

void CCheckButton::Toggle()
{
    m_bChecked = 1 - m_bChecked;
    Q_EMIT Toggled(m_bChecked);
    update();
}

void CCheckButton::SetChecked(int checked)
{
    m_bChecked = checked ? 1 : 0;
    update();
}

QSize CCheckButton::sizeHint() const
{
    return OwnerDrawnBox::SizeHint(fontMetrics(), text());
}

void CCheckButton::paintEvent(QPaintEvent* /*event*/)
{
    QPainter painter(this);
    OwnerDrawnBox::Paint(painter, rect(), text(), OwnerDrawnBox::Mark::Framed, m_bChecked == 1);
}
