#include "hosted/web/plugin/WebEnginePlugin.h"

#include "hosted/web/engine/EnginePageView.h"

QWidget* WebEnginePlugin::CreatePageView(QWidget* parent)
{
    return new EnginePageView(parent);
}

void WebEnginePlugin::Navigate(QWidget* pageView, const QString& address)
{
    if (auto* view = qobject_cast<EnginePageView*>(pageView))
        view->Navigate(address);
}
