#include "hosted/web/engine/OriginPage.h"

#include "hosted/web/PagePolicy.h"

#include <QDesktopServices>
#include <QLoggingCategory>
#include <QWebEngineCertificateError>
#include <QWebEngineDownloadRequest>
#include <QWebEngineProfile>
#include <QWebEngineSettings>
#include <unistd.h>

Q_LOGGING_CATEGORY(lcPages, "wavelark.pages")

namespace {

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
                m_opener, [opener = m_opener, url] { opener->HandOn(url); }, Qt::QueuedConnection);
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
    : QWebEnginePage(profile, parent)
{
    settings()->setUnknownUrlSchemePolicy(QWebEngineSettings::DisallowUnknownUrlSchemes);
    settings()->setAttribute(QWebEngineSettings::JavascriptCanAccessClipboard, false);
    settings()->setAttribute(QWebEngineSettings::JavascriptCanPaste, false);
    connect(this, &QWebEnginePage::featurePermissionRequested, this,
            &OriginPage::OnPermissionRequested);
    connect(this, &QWebEnginePage::certificateError, this,
            [](const QWebEngineCertificateError& error) {
                qCWarning(lcPages).noquote()
                    << "refused a page with a certificate error:" << error.description();
                auto refused = error;
                refused.rejectCertificate();
            });
    connect(profile, &QWebEngineProfile::downloadRequested, this, &OriginPage::OnDownloadRequested);
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
    if (m_origin.isEmpty()) {
        if (::geteuid() == 0 && !PagesMayComeWithoutSandbox(address)) {
            qCWarning(lcPages) << "no page: running as root, the web engine has no sandbox, and"
                               << address << "is neither on this machine nor https";
            return;
        }
        m_origin = address;
    }
    if (SameOrigin(address, m_origin))
        load(address);
    else
        HandOn(address);
}

bool OriginPage::acceptNavigationRequest(const QUrl& url, NavigationType /*type*/,
                                         bool /*isMainFrame*/)
{
    // Frames too: a page of the content server shows nothing of another origin inside it.
    if (SameOrigin(url, m_origin) || url.scheme() == QLatin1String("about") ||
        url.scheme() == QLatin1String("data"))
        return true;
    HandOn(url);
    return false;
}

QWebEnginePage* OriginPage::createWindow(WebWindowType /*type*/)
{
    return new NewWindowCatcher(profile(), this);
}

void OriginPage::OnPermissionRequested(const QUrl& securityOrigin, Feature feature)
{
    qCInfo(lcPages) << "denied a page's request for" << feature << "from" << securityOrigin;
    setFeaturePermission(securityOrigin, feature, PermissionDeniedByUser);
}

void OriginPage::OnDownloadRequested(QWebEngineDownloadRequest* download)
{
    if (download->page() != this)
        return;
    // The view never writes to disk by itself; the user's browser decides.
    const QUrl url = download->url();
    download->cancel();
    HandOn(url);
}

void OriginPage::HandOn(const QUrl& url)
{
    const bool http =
        url.scheme() == QLatin1String("http") || url.scheme() == QLatin1String("https");
    if (::geteuid() != 0 && http) {
        qCInfo(lcPages) << "handing" << url << "to the user's browser";
        QDesktopServices::openUrl(url);
        return;
    }
    if (!m_refusalLogged) {
        m_refusalLogged = true;
        qCWarning(lcPages) << "refused to leave the content server for" << url
                           << (http ? "(running as root: no browser is started)"
                                    : "(not a web address)");
    }
}
