#include "hosted/web/engine/SameOriginRequests.h"

#include "hosted/web/policy/PagePolicy.h"

#include <QLoggingCategory>
#include <QMutexLocker>

Q_DECLARE_LOGGING_CATEGORY(lcPages)

namespace {

// The scheme a request's server is reached by: a WebSocket goes to the web server it names.
QString ServerScheme(const QUrl& url)
{
    const QString scheme = url.scheme().toLower();
    if (scheme == QLatin1String("ws"))
        return QStringLiteral("http");
    if (scheme == QLatin1String("wss"))
        return QStringLiteral("https");
    return scheme;
}

int DefaultPort(const QString& scheme)
{
    return scheme == QLatin1String("https") ? 443 : 80;
}

} // namespace

SameOriginRequests::SameOriginRequests(QObject* parent) : QWebEngineUrlRequestInterceptor(parent) {}

void SameOriginRequests::SetOrigin(const QUrl& origin)
{
    QMutexLocker lock(&m_mutex);
    m_origin = origin;
}

bool SameOriginRequests::SameServer(const QUrl& url, const QUrl& origin)
{
    const QString scheme = ServerScheme(url);
    const QString originScheme = ServerScheme(origin);
    return !url.host().isEmpty() && scheme == originScheme &&
           url.host().compare(origin.host(), Qt::CaseInsensitive) == 0 &&
           url.port(DefaultPort(scheme)) == origin.port(DefaultPort(originScheme));
}

void SameOriginRequests::interceptRequest(QWebEngineUrlRequestInfo& info)
{
    const QUrl url = info.requestUrl();
    const QString scheme = url.scheme().toLower();
    if (scheme == QLatin1String("data") || scheme == QLatin1String("blob"))
        return;
    QMutexLocker lock(&m_mutex);
    if (!m_origin.isEmpty() && SameServer(url, m_origin))
        return;
    info.block(true);
    const auto type = static_cast<size_t>(info.resourceType()) % m_logged.size();
    if (m_logged[type])
        return;
    m_logged[type] = true;
    qCWarning(lcPages).noquote()
        << QStringLiteral("blocked a page's request for %1 (of kind %2): it leaves the page's own "
                          "server; such requests are not logged again")
               .arg(EscapedForLog(url.toString()))
               .arg(static_cast<int>(info.resourceType()));
}
