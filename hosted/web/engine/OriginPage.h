#pragma once

#include <QElapsedTimer>
#include <QUrl>
#include <QWebEnginePage>
#include <bitset>

class QWebEngineDownloadRequest;
class SameOriginRequests;

// The vendor's pages, kept on the content server they come from. The view shows pages of one
// origin only (scheme, host and port of the address the program itself opened), and every
// request of the page, not only its navigations, stays there (SameOriginRequests on the
// profile). Without the engine's sandbox the program opens pages only where PageMayBeShownHere
// allows.
//
// The user's own browser starts only on the user's click: a link to elsewhere that the user
// clicked in the view (or a new window it opened) is handed to it, at most one a second, and
// never when running as root, where the desktop's browser would run as root too. Redirects,
// refreshes, script navigations, windows and downloads nobody clicked for are refused, and
// logged once per kind. Unknown schemes, requests for the camera, the microphone, the
// location, notifications and the like, and pages with certificate errors are refused.
class OriginPage : public QWebEnginePage
{
    Q_OBJECT

public:
    // Installs its request filter on `profile`, which must serve this page alone.
    explicit OriginPage(QWebEngineProfile* profile, QObject* parent = nullptr);
    ~OriginPage() override;

    // Opens `address` as the program's own navigation; its origin is the only one shown from
    // then on. Another origin is handed to the user's browser as the program asked for it.
    void Open(const QUrl& address);

    // The user clicked or pressed a key in the view: the next page navigation to elsewhere
    // within a few seconds is the user's own.
    void NoteUserAction();

    // Why a page wants to leave the content server.
    enum class Leaving {
        ProgramOpened,
        LinkClicked,
        NewWindow,
        Download,
        Redirect,
        FormSubmitted,
        OtherNavigation,
        FrameOrOther,
        Count
    };
    // Hands `url` to the user's browser when the program or the user asked for it, else refuses
    // it (logged once per kind).
    void Leave(const QUrl& url, Leaving how);

    // Whether `url` belongs to `origin`: same scheme, host and port.
    static bool SameOrigin(const QUrl& url, const QUrl& origin);

protected:
    bool acceptNavigationRequest(const QUrl& url, NavigationType type, bool isMainFrame) override;
    QWebEnginePage* createWindow(WebWindowType type) override;

private:
    void OnPermissionRequested(const QUrl& securityOrigin, Feature feature);
    void OnDownloadRequested(QWebEngineDownloadRequest* download);
    // Whether the user acted in the view lately; a user action allows one departure.
    bool TakeUserAction();
    void Refuse(const QUrl& url, Leaving how, const char* why);

    SameOriginRequests* m_requests;
    QUrl m_origin;
    QElapsedTimer m_userAction;
    QElapsedTimer m_lastHandedOn;
    std::bitset<static_cast<size_t>(Leaving::Count)> m_refusalLogged;
};
