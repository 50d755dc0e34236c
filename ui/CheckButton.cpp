#include "ui/CheckButton.h"

#include "ui/OwnerDrawnBox.h"

#include <QPainter>

CCheckButton::CCheckButton(const QString& text, QWidget* parent) : QAbstractButton(parent)
{
    setText(text);
    setCheckable(true);
    connect(this, &QAbstractButton::toggled, this, &CCheckButton::OnCheckedChanged);
}

void CCheckButton::Toggle()
{
    setChecked(!isChecked());
}

void CCheckButton::SetChecked(int checked)
{
    m_quiet = true;
    setChecked(checked != 0);
    m_quiet = false;
    update();
}

void CCheckButton::OnCheckedChanged(bool checked)
{
    m_bChecked = checked ? 1 : 0;
    update();
    if (!m_quiet)
        Q_EMIT Toggled(m_bChecked);
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
