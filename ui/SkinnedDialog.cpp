#include "ui/SkinnedDialog.h"

#include "ui/Skin.h"

#include <QPainter>
#include <QPushButton>

SkinnedDialog::SkinnedDialog(const Skin& skin, const DialogRect& size, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint), m_skin(skin), m_scale(DpiScale(parent))
{
    setFixedSize(DialogUnitsToPixels(size, m_scale).size());
}

void SkinnedDialog::paintEvent(QPaintEvent* /*event*/)
{
    QPainter painter(this);
    m_skin.FillSkinGradient(painter, rect());
    // The thin border of a captionless pop-up.
    painter.setPen(QColor(100, 100, 100));
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
}

QPushButton* SkinnedDialog::AddButton(int id, const QString& text, const DialogRect& rect)
{
    auto* button = new QPushButton(text, this);
    PlaceControl(button, id, rect, m_scale);
    button->setCursor(Qt::PointingHandCursor);
    return button;
}
