#pragma once

#include "ui/DialogUnits.h"

#include <QDialog>

class Skin;
class QPushButton;

// A captionless pop-up with a thin border whose whole client area is the skin gradient.
class SkinnedDialog : public QDialog
{
    Q_OBJECT

public:
    SkinnedDialog(const Skin& skin, const DialogRect& size, QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;

    // A push button with the hand cursor, placed at its template rectangle.
    QPushButton* AddButton(int id, const QString& text, const DialogRect& rect);
    qreal Scale() const { return m_scale; }

private:
    const Skin& m_skin;
    qreal m_scale = 1.0;
};
