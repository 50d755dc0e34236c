#include "hosted/web/HelperProcessEngine.h"

#include "hosted/web/HelperPageView.h"

HelperProcessEngine::HelperProcessEngine(QString helperPath) : m_helperPath(std::move(helperPath))
{
}

QWidget* HelperProcessEngine::CreatePageView(QWidget* parent)
{
    auto* view = new HelperPageView(m_helperPath, parent);
    if (!view->Started()) {
        delete view;
        return nullptr;
    }
    return view;
}

void HelperProcessEngine::Navigate(QWidget* pageView, const QString& address)
{
    if (auto* view = qobject_cast<HelperPageView*>(pageView))
        view->Navigate(address);
}
