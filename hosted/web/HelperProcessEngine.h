#pragma once

#include "hosted/web/WebPageEngine.h"

#include <QString>

// Page views whose engine runs in the helper program at `helperPath` (see HelperPageView).
class HelperProcessEngine : public WebPageEngine
{
public:
    explicit HelperProcessEngine(QString helperPath);

    QWidget* CreatePageView(QWidget* parent) override;
    void Navigate(QWidget* pageView, const QString& address) override;

private:
    QString m_helperPath;
};
