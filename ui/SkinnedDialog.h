#pragma once

#include "ui/DialogUnits.h"

#include <QDialog>

class CColorStatic;
class FocusMark;
class Skin;
class QLabel;
class QPushButton;

// A captionless pop-up with a thin border. Inside the border lies the client area, the size of
// the dialog template, painted edge to edge with the skin gradient; controls live on it.
// Tab and Shift+Tab go through the controls in reading order, and the focused control carries
// the focus mark once the keyboard is used (see FocusMark). Screen readers know the window as
// "Wavelark".
class SkinnedDialog : public QDialog
{
    Q_OBJECT

public:
    SkinnedDialog(const Skin& skin, const DialogRect& size, QWidget* parent = nullptr);

    // The client area: the parent of every control.
    QWidget* Client() const { return m_client; }
    const FocusMark* Mark() const { return m_focusMark; }

protected:
    void paintEvent(QPaintEvent* event) override;
    // Chains the controls in reading order before the window first takes the focus.
    void showEvent(QShowEvent* event) override;

    // A push button with the hand cursor, placed at its template rectangle.
    QPushButton* AddButton(int id, const QString& text, const DialogRect& rect);
    // A text line drawn over the gradient, placed at its template rectangle.
    CColorStatic* AddStatic(int id, const QByteArray& text, const DialogRect& rect);
    // The product's logo at its template rectangle: a picture on the body, not a control, so
    // the mouse goes through it to the window. Screen readers call it "Wavelark".
    QLabel* AddLogo(const DialogRect& rect);
    qreal Scale() const { return m_scale; }

private:
    qreal m_scale = 1.0;
    QWidget* m_client = nullptr;
    FocusMark* m_focusMark = nullptr;
};
