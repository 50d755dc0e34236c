#pragma once

#include "hosted/web/WebPageEngine.h"

#include <QObject>

// The plugin object of libwavelark_webengine.so: makes Qt WebEngine page views.
class WebEnginePlugin : public QObject, public WebPageEngine
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID WavelarkWebPageEngine_iid)
    Q_INTERFACES(WebPageEngine)

public:
    QWidget* CreatePageView(QWidget* parent) override;
    void Navigate(QWidget* pageView, const QString& address) override;
};
