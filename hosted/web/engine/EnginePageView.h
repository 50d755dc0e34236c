#pragma once

#include <QWidget>

class OriginPage;
class QWebEngineProfile;
class QWebEngineView;

// The page view the plugin hands out: a web view on a page of its own in an off-the-record
// profile of its own, so that deleting this widget releases the renderer, the caches and the
// network context the page used (nothing is written to disk either).
class EnginePageView : public QWidget
{
    Q_OBJECT

public:
    explicit EnginePageView(QWidget* parent);
    ~EnginePageView() override;

    void Navigate(const QString& address);

protected:
    // Tells the page when the user clicks or presses a key in it: only then may a page hand an
    // address to the user's browser.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Deleted in reverse order: view, then page, then the profile the page lives in.
    QWebEngineProfile* m_profile;
    OriginPage* m_page;
    QWebEngineView* m_view;
};
