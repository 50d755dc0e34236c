#include "ui/SearchField.h"

#include "ui/DialogFont.h"

#include <QApplication>
#include <QKeyEvent>
#include <QPainter>

CSearchField::CSearchField(QWidget* parent) : QLineEdit(parent)
{
    setFont(DialogFont());
    setFrame(false);
    setPlaceholderText(QStringLiteral("Search"));
    setTextMargins(3, 0, 3, 0);
    QPalette colours = palette();
    colours.setColor(QPalette::Base, Qt::white);
    colours.setColor(QPalette::Text, Qt::black);
    colours.setColor(QPalette::PlaceholderText, QColor(128, 128, 128));
    setPalette(colours);
    // The program's key filter on the application swallows Escape in every dialog before a
    // widget sees it. A filter installed later runs earlier, so the field still hears its own
    // Escape; every other widget's stays swallowed.
    qApp->installEventFilter(this);
}

CSearchField::~CSearchField() = default;

bool CSearchField::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == this && event->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
        Q_EMIT EscapePressed();
        return true;
    }
    return QLineEdit::eventFilter(watched, event);
}

void CSearchField::keyPressEvent(QKeyEvent* event)
{
    switch (event->key()) {
    case Qt::Key_Down:
        Q_EMIT DownPressed();
        event->accept();
        return;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        Q_EMIT EnterPressed();
        event->accept();
        return;
    case Qt::Key_Escape:
        Q_EMIT EscapePressed();
        event->accept();
        return;
    default:
        QLineEdit::keyPressEvent(event);
    }
}

void CSearchField::paintEvent(QPaintEvent* event)
{
    QLineEdit::paintEvent(event);
    QPainter painter(this);
    painter.setPen(Qt::black);
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
}
