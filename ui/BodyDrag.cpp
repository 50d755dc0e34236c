#include "ui/BodyDrag.h"

#include "ui/SkinnedDialog.h"

#include <QAbstractButton>
#include <QMouseEvent>
#include <QWidget>
#include <QWindow>

BodyDrag::BodyDrag(QWidget* window, Mode mode) : QObject(window), m_window(window), m_mode(mode)
{
    m_window->setCursor(Qt::OpenHandCursor);
    AddBody(m_window);
    if (auto* dialog = qobject_cast<SkinnedDialog*>(window))
        AddBody(dialog->Client());
}

void BodyDrag::AddBody(QWidget* body)
{
    if (!body || m_bodies.contains(body))
        return;
    m_bodies.append(body);
    // Moves without a button pressed reach the body only with tracking on.
    body->setMouseTracking(true);
    body->installEventFilter(this);
}

void BodyDrag::SetUnpushedOnMove(const QList<QAbstractButton*>& buttons)
{
    m_unpushed.clear();
    for (QAbstractButton* button : buttons)
        m_unpushed.append(button);
}

bool BodyDrag::IsBody(QPoint windowPos) const
{
    // childAt passes over widgets that let mouse events through, such as labels and frames.
    QWidget* under = m_window->childAt(windowPos);
    return !under || m_bodies.contains(under);
}

bool BodyDrag::eventFilter(QObject* watched, QEvent* event)
{
    auto* widget = qobject_cast<QWidget*>(watched);
    if (!widget || !m_bodies.contains(widget))
        return false;
    switch (event->type()) {
    case QEvent::MouseButtonPress:
        if (static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton &&
            m_mode == Mode::MoveWindow) {
            auto* mouse = static_cast<QMouseEvent*>(event);
            if (IsBody(m_window->mapFromGlobal(mouse->globalPosition().toPoint()))) {
                Press(mouse);
                return true;
            }
        }
        return false;
    case QEvent::MouseMove:
        Move(static_cast<QMouseEvent*>(event));
        return m_following;
    case QEvent::MouseButtonRelease:
        if (static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton)
            Release(static_cast<QMouseEvent*>(event));
        return false;
    default:
        return false;
    }
}

void BodyDrag::Press(QMouseEvent* event)
{
    m_window->setCursor(Qt::ClosedHandCursor);
    QWindow* handle = m_window->windowHandle();
    if (handle && handle->startSystemMove())
        return;
    // No move from the window system (some platforms and window managers lack it): follow
    // the mouse until the button comes up.
    m_following = true;
    m_grabOffset = event->globalPosition().toPoint() - m_window->pos();
}

void BodyDrag::Move(QMouseEvent* event)
{
    const QPoint global = event->globalPosition().toPoint();
    if (m_following) {
        if (event->buttons() & Qt::LeftButton) {
            m_window->move(global - m_grabOffset);
            return;
        }
        m_following = false;
    }
    if (event->buttons() != Qt::NoButton)
        return;
    // The window system may keep the release of its own move to itself.
    if (m_window->cursor().shape() == Qt::ClosedHandCursor)
        m_window->setCursor(Qt::OpenHandCursor);
    if (!IsBody(m_window->mapFromGlobal(global)))
        return;
    for (const QPointer<QAbstractButton>& button : m_unpushed) {
        if (button)
            button->setDown(false);
    }
}

void BodyDrag::Release(QMouseEvent* /*event*/)
{
    m_following = false;
    m_window->setCursor(Qt::OpenHandCursor);
}
