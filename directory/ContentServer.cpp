#include "directory/ContentServer.h"

#include <QtGlobal>

ContentServer::ContentServer(const QByteArray& root, const QByteArray& programVersionText)
    : m_root(root.trimmed()), m_userAgent(QByteArrayLiteral("Wavelark/") + programVersionText)
{
    if (m_root.isEmpty())
        m_root = kDefaultRoot;
    if (!m_root.endsWith('/'))
        m_root += '/';
}

ContentServer ContentServer::FromEnvironment(const QByteArray& programVersionText)
{
    return ContentServer(qgetenv(kRootVariable), programVersionText);
}
