#pragma once

#include <QtPlugin>

class QString;
class QWidget;

// What the radio window needs of a web engine, behind a plugin boundary: the engine library is
// large and starts threads, a GL context and helper processes, so the program loads it only
// when the first page is opened (see WebPageEngineLoader).
class WebPageEngine
{
public:
    virtual ~WebPageEngine() = default;

    // A page view as a child of `parent`, filling no more than the parent gives it, or nullptr
    // when the engine cannot make one. The view owns everything the page holds (profile,
    // caches, renderer); deleting it releases them.
    virtual QWidget* CreatePageView(QWidget* parent) = 0;

    // Starts loading `address` in a view made by CreatePageView and returns at once.
    virtual void Navigate(QWidget* pageView, const QString& address) = 0;
};

#define WavelarkWebPageEngine_iid "org.wavelark.WebPageEngine/1.0"
Q_DECLARE_INTERFACE(WebPageEngine, WavelarkWebPageEngine_iid)
