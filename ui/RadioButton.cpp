#include "ui/RadioButton.h"

#include "ui/AccessibleControls.h"
#include "ui/OwnerDrawnBox.h"

#include <QAccessible>
#include <QPainter>

CRadioButton::CRadioButton(const QString& text, QWidget* parent) : QAbstractButton(parent)
{
    InstallAccessibleControls();
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
    SetSelectedFlag(1);
    const QList<CRadioButton*> group = Group();
    const qsizetype self = group.indexOf(this);
    for (qsizetype step = 1; step < group.size(); ++step) {
        CRadioButton* other = group[(self + step) % group.size()];
        other->SetSelectedFlag(0);
    }
    Q_EMIT Selected();
}

void CRadioButton::Deselect()
{
    SetSelectedFlag(0);
}

void CRadioButton::SetSelectedFlag(int selected)
{
    update();
    if (selected == m_bSelected)
        return;
    m_bSelected = selected;
    QAccessible::State changed;
    changed.checked = true;
    QAccessibleStateChangeEvent event(this, changed);
    QAccessible::updateAccessibility(&event);
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
