#include "hosted/web/engine/EnginePageView.h"

#include "hosted/web/engine/OriginPage.h"

#include <QApplication>
#include <QKeyEvent>
#include <QUrl>
#include <QVBoxLayout>
#include <QWebEngineProfile>
#include <QWebEngineView>

EnginePageView::EnginePageView(QWidget* parent)
    : QWidget(parent), m_profile(new QWebEngineProfile), m_page(new OriginPage(m_profile)),
      m_view(new QWebEngineView(this))
{
    // A profile without a storage name is off the record: memory only, gone with the object.
    m_profile->setHttpCacheType(QWebEngineProfile::MemoryHttpCache);
    m_view->setPage(m_page);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_view);
    // The engine draws the page into a widget it makes and replaces as it likes (a new one for
    // each renderer), so the user's input is watched on its way to any widget in the view.
    qApp->installEventFilter(this);
}

EnginePageView::~EnginePageView()
{
    qApp->removeEventFilter(this);
    delete m_view;
    delete m_page;
    delete m_profile;
}

void EnginePageView::Navigate(const QString& address)
{
    m_page->Open(QUrl::fromUserInput(address));
}

bool EnginePageView::eventFilter(QObject* watched, QEvent* event)
{
    bool userAction = false;
    if (event->type() == QEvent::MouseButtonRelease) {
        userAction = true;
    } else if (event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        userAction = key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Space;
    }
    // Events the application synthesises itself count too: only the user and this program
    // send them, never the page.
    if (userAction && watched->isWidgetType()) {
        auto* widget = static_cast<QWidget*>(watched);
        if (widget == m_view || m_view->isAncestorOf(widget))
            m_page->NoteUserAction();
    }
    return false;
}
