#pragma once

#include "ui/DialogUnits.h"

#include <QDialog>

class CColorStatic;
class Skin;
class QLabel;
class QPushButton;

// A captionless pop-up with a thin border. Inside the border lies the client area, the size of
// the dialog template, painted edge to edge with the skin gradient; controls live on it.
class SkinnedDialog : public QDialog
{
    Q_OBJECT

public:
    SkinnedDialog(const Skin& skin, const DialogRect& size, QWidget* parent = nullptr);

    // The client area: the parent of every control.
    QWidget* Client() const { return m_client; }

protected:
    void paintEvent(QPaintEvent* event) override;

    // A push button with the hand cursor, placed at its template rectangle.
    QPushButton* AddButton(int id, const QString& text, const DialogRect& rect);
    // A text line drawn over the gradient, placed at its template rectangle.
    CColorStatic* AddStatic(int id, const QByteArray& text, const DialogRect& rect);
    // The product's logo at its template rectangle: a picture on the body, not a control, so
    // the mouse goes through it to the window.
    QLabel* AddLogo(const DialogRect& rect);
    qreal Scale() const { return m_scale; }

private:
    qreal m_scale = 1.0;
    QWidget* m_client = nullptr;
};
