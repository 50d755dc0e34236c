#pragma once

#include <QAbstractButton>
#include <QList>
#include <QPointer>
#include <memory>

// An owner-drawn option button: a filled 6 x 6 mark inside a 12 x 12 box, black when selected
// and light grey when not (see OwnerDrawnBox). A click, Space while it has the focus, or a
// screen reader's "toggle" selects it; selecting one clears the other option buttons of its
// group. Screen readers see it through AccessibleOptionButton (see AccessibleControls).
class CRadioButton : public QAbstractButton
{
    Q_OBJECT

public:
    explicit CRadioButton(const QString& text, QWidget* parent = nullptr);

    // Makes `buttons` one group, in this order (the order the dialog's tab order would give).
    // A button belongs to at most one group; joining a new one leaves the old.
    static void SetGroup(const QList<CRadioButton*>& buttons);
    // The button's group in group order; just this button when it has none.
    QList<CRadioButton*> Group() const;

    int IsSelected() const { return m_bSelected; }

    // Selects this button, clears and repaints the others of its group (visited in group order
    // from the one after this, wrapping round), repaints this one and reports it.
    void Select();
    // Clears the selection and repaints, without reporting.
    void Deselect();

    QSize sizeHint() const override;

Q_SIGNALS:
    // Emitted by every Select (each click), also when the button was already selected.
    void Selected();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    // Sets the selection flag and repaints; a change is announced to screen readers.
    void SetSelectedFlag(int selected);

    using Members = QList<QPointer<CRadioButton>>;

    // Window text is read into a 256-character buffer by the window system this look comes
    // from; longer texts are cut to match.
    static constexpr int kMaxTextLength = 255;

    int m_bSelected = 0;
    std::shared_ptr<Members> m_group;
};
