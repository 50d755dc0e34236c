#include "ui/RadioButton.h"

#include "ui/OwnerDrawnBox.h"

#include <QPainter>

CRadioButton::CRadioButton(const QString& text, QWidget* parent) : QAbstractButton(parent)
{
    setText(text);
    connect(this, &QAbstractButton::clicked, this, &CRadioButton::Select);
}

void CRadioButton::SetGroup(const QList<CRadioButton*>& buttons)
{
    auto members = std::make_shared<Members>();
    for (CRadioButton* button : buttons) {
        if (!button || members->contains(button))
            continue;
        if (button->m_group)
            button->m_group->removeAll(button);
        members->append(button);
        button->m_group = members;
    }
}

QList<CRadioButton*> CRadioButton::Group() const
{
    QList<CRadioButton*> group;
    if (m_group) {
        for (const QPointer<CRadioButton>& member : *m_group)
            if (member)
                group.append(member.data());
    }
    if (group.isEmpty())
        group.append(const_cast<CRadioButton*>(this));
    return group;
}

void CRadioButton::Select()
{
    m_bSelected = 1;
    const QList<CRadioButton*> group = Group();
    const qsizetype self = group.indexOf(this);
    for (qsizetype step = 1; step < group.size(); ++step) {
        CRadioButton* other = group[(self + step) % group.size()];
        other->m_bSelected = 0;
        other->update();
    }
    update();
    Q_EMIT Selected();
}

void CRadioButton::Deselect()
{
    m_bSelected = 0;
    update();
}

QSize CRadioButton::sizeHint() const
{
    return OwnerDrawnBox::SizeHint(fontMetrics(), text().left(kMaxTextLength));
}

void CRadioButton::paintEvent(QPaintEvent* /*event*/)
{
    QPainter painter(this);
    OwnerDrawnBox::Paint(painter, rect(), text().left(kMaxTextLength), OwnerDrawnBox::Mark::Filled,
                         m_bSelected == 1);
}
