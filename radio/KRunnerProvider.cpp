#include "radio/KRunnerProvider.h"

#include "directory/StationSearch.h"
#include "radio/DesktopSearch.h"

#include <QDBusArgument>
#include <QDBusMetaType>

QDBusArgument& operator<<(QDBusArgument& argument, const RunnerMatch& match)
{
    argument.beginStructure();
    argument << match.id << match.text << match.iconName << match.type << match.relevance
             << match.properties;
    argument.endStructure();
    return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, RunnerMatch& match)
{
    argument.beginStructure();
    argument >> match.id >> match.text >> match.iconName >> match.type >> match.relevance >>
        match.properties;
    argument.endStructure();
    return argument;
}

QDBusArgument& operator<<(QDBusArgument& argument, const RunnerAction& action)
{
    argument.beginStructure();
    argument << action.id << action.text << action.iconName;
    argument.endStructure();
    return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, RunnerAction& action)
{
    argument.beginStructure();
    argument >> action.id >> action.text >> action.iconName;
    argument.endStructure();
    return argument;
}

KRunnerProvider::KRunnerProvider(DesktopSearch& owner, QObject* parent)
    : QObject(parent), m_owner(owner)
{
}

void KRunnerProvider::RegisterTypes()
{
    qDBusRegisterMetaType<RunnerMatch>();
    qDBusRegisterMetaType<QList<RunnerMatch>>();
    qDBusRegisterMetaType<RunnerAction>();
    qDBusRegisterMetaType<QList<RunnerAction>>();
    qDBusRegisterMetaType<QList<QVariantMap>>();
}

QList<RunnerAction> KRunnerProvider::Actions()
{
    return {};
}

QList<RunnerMatch> KRunnerProvider::Match(const QString& query)
{
    // KRunner sorts by relevance: each rank gets its own band, and within a band the order of
    // the results lowers it a little, so KRunner keeps the search's order.
    constexpr double kRankRelevance[] = {1.0, 0.9, 0.8, 0.7};
    constexpr double kStep = 0.001;
    QList<RunnerMatch> matches;
    const std::vector<SearchHit> hits = m_owner.Hits(query);
    for (size_t i = 0; i < hits.size(); ++i) {
        const QString id = QString::number(hits[i].record);
        RunnerMatch match;
        QString description;
        if (!m_owner.Describe(id, match.text, description))
            continue;
        match.id = id;
        match.iconName = QStringLiteral("wavelark");
        match.type = hits[i].rank == SearchRank::WholeName ? kExactMatch : kPossibleMatch;
        match.relevance = kRankRelevance[size_t(hits[i].rank)] - kStep * double(i);
        match.properties.insert(QStringLiteral("subtext"), description);
        matches.append(match);
    }
    return matches;
}

void KRunnerProvider::Run(const QString& matchId, const QString& /*actionId*/)
{
    m_owner.Activate(matchId);
}

void KRunnerProvider::Teardown() {}
