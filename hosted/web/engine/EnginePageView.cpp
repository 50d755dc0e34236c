#include "hosted/web/engine/EnginePageView.h"

#include "hosted/web/engine/OriginPage.h"

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
}

EnginePageView::~EnginePageView()
{
    delete m_view;
    delete m_page;
    delete m_profile;
}

void EnginePageView::Navigate(const QString& address)
{
    m_page->Open(QUrl::fromUserInput(address));
}
