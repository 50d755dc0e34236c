#pragma once

#include <QWidget>

class WebPageEngineLoader;

// A child window whose only content is a web page view. The view is made by Create, not by the
// constructor, so a wrapper costs nothing until the first page; the web engine itself is
// loaded then (WebPageEngineLoader). The wrapper owns the view: deleting the wrapper deletes it
// and everything the page held.
//
// Nothing of what the page does comes back: the program does not learn when a page has loaded
// or failed, and a page that asks for a new window gets none.
class CWebBrowserWrapper : public QWidget
{
    Q_OBJECT

public:
    // `loader` (kept, not owned) is where the page view's engine comes from; without one the
    // wrapper can make no view.
    explicit CWebBrowserWrapper(QWidget* parent = nullptr, WebPageEngineLoader* loader = nullptr);
    ~CWebBrowserWrapper() override;

    // Places the wrapper at `rectInParentClient` in `parent`, tags it with `controlId` and makes
    // its page view, visible. False when the web engine cannot make one: the wrapper is then
    // hidden and the caller shows nothing. A second call on an existing view only returns true.
    bool Create(const QRect& rectInParentClient, QWidget* parent, int controlId);
    bool Exists() const { return m_view != nullptr; }

    // Starts loading `address` and returns at once; does nothing before a successful Create.
    void Navigate(const QString& address);

private:
    WebPageEngineLoader* m_loader;
    QWidget* m_view = nullptr;
};
