#include "hosted/web/engine/OriginPage.h"

#include "hosted/web/engine/SameOriginRequests.h"
#include "hosted/web/policy/PagePolicy.h"

#include <QDesktopServices>
#include <QLoggingCategory>
#include <QWebEngineCertificateError>
#include <QWebEngineDownloadRequest>
#include <QWebEngineProfile>
#include <QWebEngineSettings>
#include <unistd.h>

Q_LOGGING_CATEGORY(lcPages, "wavelark.pages")

namespace {

// A click reaches the page's script and comes back as a navigation within milliseconds; a
// departure later than this is not the click's.
constexpr qint64 kUserActionValidMs = 3000;
// However fast the user (or a page that makes every click count) clicks, the desktop's browser
// is started at most this often.
constexpr qint64 kHandOnIntervalMs = 1000;

const char* Describe(OriginPage::Leaving how)
{
    switch (how) {
    case OriginPage::Leaving::ProgramOpened:
        return "an address the program opened";
    case OriginPage::Leaving::LinkClicked:
        return "a link or a script";
    case OriginPage::Leaving::NewWindow:
        return "a new window";
    case OriginPage::Leaving::Download:
        return "a download";
    case OriginPage::Leaving::Redirect:
        return "a redirect (by the server, a refresh, or a script while the page loads)";
    case OriginPage::Leaving::FormSubmitted:
        return "a form";
    case OriginPage::Leaving::OtherNavigation:
        return "another navigation of the page";
    case OriginPage::Leaving::FrameOrOther:
    case OriginPage::Leaving::Count:
        break;
    }
    return "a frame or another navigation";
}

// A page asked for a new window: the address it would show is handed on, never shown here.
class NewWindowCatcher : public QWebEnginePage
{
public:
    NewWindowCatcher(QWebEngineProfile* profile, OriginPage* opener)
        : QWebEnginePage(profile, opener), m_opener(opener)
    {
    }

protected:
    bool acceptNavigationRequest(const QUrl& url, NavigationType /*type*/,
                                 bool isMainFrame) override
    {
        if (isMainFrame && m_opener) {
            // A new window is never shown here, whatever its origin.
            QMetaObject::invokeMethod(
                m_opener,
                [opener = m_opener, url] { opener->Leave(url, OriginPage::Leaving::NewWindow); },
                Qt::QueuedConnection);
            deleteLater();
            m_opener = nullptr;
        }
        return false;
    }

private:
    OriginPage* m_opener;
};

} // namespace

OriginPage::OriginPage(QWebEngineProfile* profile, QObject* parent)
    : QWebEnginePage(profile, parent), m_requests(new SameOriginRequests(this))
{
    profile->setUrlRequestInterceptor(m_requests);
    settings()->setUnknownUrlSchemePolicy(QWebEngineSettings::DisallowUnknownUrlSchemes);
    settings()->setAttribute(QWebEngineSettings::JavascriptCanAccessClipboard, false);
    settings()->setAttribute(QWebEngineSettings::JavascriptCanPaste, false);
    // Chromium then opens a window for a script only while the user's click is fresh.
    settings()->setAttribute(QWebEngineSettings::JavascriptCanOpenWindows, false);
    connect(this, &QWebEnginePage::featurePermissionRequested, this,
            &OriginPage::OnPermissionRequested);
    connect(this, &QWebEnginePage::certificateError, this,
            [](const QWebEngineCertificateError& error) {
                qCWarning(lcPages).noquote() << "refused a page with a certificate error:"
                                             << EscapedForLog(error.description());
                auto refused = error;
                refused.rejectCertificate();
            });
    connect(profile, &QWebEngineProfile::downloadRequested, this, &OriginPage::OnDownloadRequested);
}

OriginPage::~OriginPage()
{
    // The profile may outlive the page, and with it the filter it would otherwise still call.
    profile()->setUrlRequestInterceptor(nullptr);
}

bool OriginPage::SameOrigin(const QUrl& url, const QUrl& origin)
{
    return url.scheme().compare(origin.scheme(), Qt::CaseInsensitive) == 0 &&
           url.host().compare(origin.host(), Qt::CaseInsensitive) == 0 &&
           url.port(url.scheme() == QLatin1String("https") ? 443 : 80) ==
               origin.port(origin.scheme() == QLatin1String("https") ? 443 : 80);
}

void OriginPage::Open(const QUrl& address)
{
    if (!m_origin.isEmpty() && !SameOrigin(address, m_origin)) {
        Leave(address, Leaving::ProgramOpened);
        return;
    }
    // Asked every time: the server behind a loopback port may have changed hands since.
    if (!PageMayBeShownHere(address)) {
        qCWarning(lcPages).noquote()
            << "no page: the web engine runs without its sandbox, and"
            << EscapedForLog(address.toString())
            << "is neither https nor served on this machine by root or this user";
        return;
    }
    if (m_origin.isEmpty()) {
        m_origin = address;
        m_requests->SetOrigin(address);
    }
    load(address);
}

void OriginPage::NoteUserAction()
{
    m_userAction.start();
}

bool OriginPage::TakeUserAction()
{
    const bool fresh = m_userAction.isValid() && m_userAction.elapsed() <= kUserActionValidMs;
    m_userAction.invalidate();
    return fresh;
}

bool OriginPage::acceptNavigationRequest(const QUrl& url, NavigationType type, bool isMainFrame)
{
    // Frames too: a page of the content server shows nothing of another origin inside it.
    if (SameOrigin(url, m_origin) || url.scheme() == QLatin1String("about") ||
        url.scheme() == QLatin1String("data"))
        return true;
    // A frame of another origin loading inside the page is no departure anyone asked for.
    Leaving how = Leaving::FrameOrOther;
    if (type == NavigationTypeLinkClicked)
        how = Leaving::LinkClicked;
    else if (type == NavigationTypeRedirect)
        how = Leaving::Redirect;
    else if (type == NavigationTypeFormSubmitted)
        how = Leaving::FormSubmitted;
    else if (isMainFrame && type == NavigationTypeOther)
        how = Leaving::OtherNavigation;
    Leave(url, how);
    return false;
}

QWebEnginePage* OriginPage::createWindow(WebWindowType /*type*/)
{
    return new NewWindowCatcher(profile(), this);
}

void OriginPage::OnPermissionRequested(const QUrl& securityOrigin, Feature feature)
{
    qCInfo(lcPages).noquote() << "denied a page's request for" << feature << "from"
                              << EscapedForLog(securityOrigin.toString());
    setFeaturePermission(securityOrigin, feature, PermissionDeniedByUser);
}

void OriginPage::OnDownloadRequested(QWebEngineDownloadRequest* download)
{
    if (download->page() != this)
        return;
    // The view never writes to disk by itself; the user's browser decides.
    const QUrl url = download->url();
    download->cancel();
    Leave(url, Leaving::Download);
}

void OriginPage::Leave(const QUrl& url, Leaving how)
{
    // A link (a script's location change counts as one) or a window leaves only on the user's
    // click; redirects, refreshes, forms and frames never do.
    const bool asked =
        how == Leaving::ProgramOpened ||
        ((how == Leaving::LinkClicked || how == Leaving::NewWindow || how == Leaving::Download) &&
         TakeUserAction());
    if (!asked) {
        Refuse(url, how, "nobody clicked for it");
        return;
    }
    const bool http =
        url.scheme() == QLatin1String("http") || url.scheme() == QLatin1String("https");
    if (!http) {
        Refuse(url, how, "not a web address");
        return;
    }
    if (::geteuid() == 0) {
        Refuse(url, how, "running as root: no browser is started");
        return;
    }
    if (m_lastHandedOn.isValid() && m_lastHandedOn.elapsed() < kHandOnIntervalMs) {
        Refuse(url, how, "the browser was started less than a second ago");
        return;
    }
    m_lastHandedOn.start();
    qCInfo(lcPages).noquote() << "handing" << EscapedForLog(url.toString())
                              << "to the user's browser";
    QDesktopServices::openUrl(url);
}

void OriginPage::Refuse(const QUrl& url, Leaving how, const char* why)
{
    const auto kind = static_cast<size_t>(how);
    if (m_refusalLogged[kind])
        return;
    m_refusalLogged[kind] = true;
    qCWarning(lcPages).noquote()
        << QStringLiteral("refused to leave the content server for %1 by %2 (%3); such refusals "
                          "are not logged again")
               .arg(EscapedForLog(url.toString()), QLatin1String(Describe(how)),
                    QLatin1String(why));
}
