#include "ui/FocusMark.h"

#include "ui/CheckButton.h"
#include "ui/OwnerDrawnBox.h"
#include "ui/RadioButton.h"

#include <QApplication>
#include <QComboBox>
#include <QKeyEvent>
#include <QPainter>
#include <QPushButton>

namespace {

// How far inside a framed control (push button, drop-down list) the mark lies.
constexpr int kFramedInset = 3;

bool IsModifierKey(int key)
{
    switch (key) {
    case Qt::Key_Shift:
    case Qt::Key_Control:
    case Qt::Key_Alt:
    case Qt::Key_AltGr:
    case Qt::Key_Meta:
    case Qt::Key_Super_L:
    case Qt::Key_Super_R:
        return true;
    default:
        return false;
    }
}

} // namespace

FocusMark::FocusMark(QWidget* surface) : QFocusFrame(surface), m_surface(surface)
{
    setObjectName(QStringLiteral("FocusMark"));
    hide();
    connect(qApp, &QApplication::focusChanged, this,
            [this](QWidget* /*old*/, QWidget* now) { Follow(now); });
    // Keys and buttons pressed anywhere in the window decide whether the mark shows; they
    // reach the control under the focus or the mouse, not this widget.
    qApp->installEventFilter(this);
}

FocusMark::~FocusMark()
{
    if (QCoreApplication* app = QCoreApplication::instance())
        app->removeEventFilter(this);
}

QRect FocusMark::MarkRect(const QWidget* control)
{
    if (qobject_cast<const CCheckButton*>(control) || qobject_cast<const CRadioButton*>(control)) {
        const auto* button = static_cast<const QAbstractButton*>(control);
        return OwnerDrawnBox::FocusRect(button->fontMetrics(), button->rect(), button->text());
    }
    if (qobject_cast<const QPushButton*>(control) || qobject_cast<const QComboBox*>(control))
        return control->rect().adjusted(kFramedInset, kFramedInset, -kFramedInset, -kFramedInset);
    return control->rect();
}

QColor FocusMark::Colour()
{
    return OwnerDrawnBox::OnColour();
}

bool FocusMark::InMyWindow(QObject* object) const
{
    if (!object || !object->isWidgetType())
        return false;
    return static_cast<QWidget*>(object)->window() == window();
}

bool FocusMark::eventFilter(QObject* watched, QEvent* event)
{
    switch (event->type()) {
    case QEvent::KeyPress:
        if (InMyWindow(watched) && !IsModifierKey(static_cast<QKeyEvent*>(event)->key()))
            SetKeyboardUse(true);
        break;
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
        if (InMyWindow(watched))
            SetKeyboardUse(false);
        break;
    case QEvent::Move:
    case QEvent::Resize:
    case QEvent::Show:
    case QEvent::Hide:
        if (watched == m_target)
            Place();
        break;
    default:
        break;
    }
    return false;
}

void FocusMark::Follow(QWidget* focus)
{
    // The control is the surface's child that holds the focus widget (a list's inner view,
    // a page's inner widget).
    QWidget* control = focus;
    while (control && control->parentWidget() != m_surface)
        control = control->parentWidget();
    m_target = control == this ? nullptr : control;
    Place();
}

void FocusMark::SetKeyboardUse(bool keyboard)
{
    if (keyboard == m_keyboardUse)
        return;
    m_keyboardUse = keyboard;
    Place();
}

void FocusMark::Place()
{
    if (!m_keyboardUse || !m_target || !m_target->isVisible()) {
        hide();
        return;
    }
    setGeometry(m_target->geometry());
    raise();
    show();
    update();
}

void FocusMark::paintEvent(QPaintEvent* /*event*/)
{
    if (!m_target)
        return;
    const QRect mark = MarkRect(m_target);
    if (mark.width() < 2 || mark.height() < 2)
        return;
    QPainter painter(this);
    const QColor colour = Colour();
    const auto dot = [&](int x, int y) {
        if ((x + y) % 2 == 0)
            painter.fillRect(x, y, 1, 1, colour);
    };
    for (int x = mark.left(); x <= mark.right(); ++x) {
        dot(x, mark.top());
        dot(x, mark.bottom());
    }
    for (int y = mark.top() + 1; y < mark.bottom(); ++y) {
        dot(mark.left(), y);
        dot(mark.right(), y);
    }
}
