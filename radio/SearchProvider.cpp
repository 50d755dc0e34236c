#include "radio/SearchProvider.h"

#include "radio/DesktopSearch.h"

SearchProvider::SearchProvider(DesktopSearch& owner, QObject* parent)
    : QObject(parent), m_owner(owner)
{
}

QStringList SearchProvider::GetInitialResultSet(const QStringList& terms)
{
    return m_owner.ResultIds(terms);
}

QStringList SearchProvider::GetSubsearchResultSet(const QStringList& /*previousResults*/,
                                                  const QStringList& terms)
{
    return m_owner.ResultIds(terms);
}

QList<QVariantMap> SearchProvider::GetResultMetas(const QStringList& identifiers)
{
    QList<QVariantMap> metas;
    for (const QString& id : identifiers) {
        QString name;
        QString description;
        if (!m_owner.Describe(id, name, description))
            continue;
        metas.append({{QStringLiteral("id"), id},
                      {QStringLiteral("name"), name},
                      {QStringLiteral("description"), description}});
    }
    return metas;
}

void SearchProvider::ActivateResult(const QString& identifier, const QStringList& /*terms*/,
                                    uint /*timestamp*/)
{
    m_owner.Activate(identifier);
}

void SearchProvider::LaunchSearch(const QStringList& terms, uint /*timestamp*/)
{
    m_owner.LaunchSearch(terms);
}
