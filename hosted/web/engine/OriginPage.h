#pragma once

#include <QUrl>
#include <QWebEnginePage>

class QWebEngineDownloadRequest;

// The vendor's pages, kept on the content server they come from. The view shows pages of one
// origin only (scheme, host and port of the address the program itself opened): whatever would
// lead elsewhere (a link, a script, a form, a redirect, a link or window.open for a new window,
// a download) is handed to the user's own browser, or refused and logged once when the program
// runs as root, where starting the desktop's browser would run it as root too. Unknown schemes,
// requests for the camera, the microphone, the location, notifications and the like, and pages
// with certificate errors are refused.
class OriginPage : public QWebEnginePage
{
    Q_OBJECT

public:
    explicit OriginPage(QWebEngineProfile* profile, QObject* parent = nullptr);

    // Opens `address` as the program's own navigation; its origin is the only one shown from
    // then on.
    void Open(const QUrl& address);

    // Hands `url` to the user's browser, or refuses it (logged once) when running as root or
    // when it is no web address.
    void HandOn(const QUrl& url);

    // Whether `url` belongs to `origin`: same scheme, host and port.
    static bool SameOrigin(const QUrl& url, const QUrl& origin);

protected:
    bool acceptNavigationRequest(const QUrl& url, NavigationType type, bool isMainFrame) override;
    QWebEnginePage* createWindow(WebWindowType type) override;

private:
    void OnPermissionRequested(const QUrl& securityOrigin, Feature feature);
    void OnDownloadRequested(QWebEngineDownloadRequest* download);

    QUrl m_origin;
    bool m_refusalLogged = false;
};
