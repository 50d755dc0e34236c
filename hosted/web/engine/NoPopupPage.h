#pragma once

#include <QWebEnginePage>

// A page that never opens another window: window.open and links with a target simply do
// nothing, as nobody would be there to show or close such a window.
class NoPopupPage : public QWebEnginePage
{
    Q_OBJECT

public:
    using QWebEnginePage::QWebEnginePage;

protected:
    QWebEnginePage* createWindow(WebWindowType type) override;
};
