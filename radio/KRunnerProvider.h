#pragma once

#include <QList>
#include <QMetaType>
#include <QObject>
#include <QString>
#include <QVariantMap>

class DesktopSearch;
class QDBusArgument;

// One match as KRunner takes it: (sssida{sv}).
struct RunnerMatch
{
    QString id;
    QString text;
    QString iconName;
    int type = 0; // KRunner's match types: 100 an exact match, 30 a possible one
    double relevance = 0;
    QVariantMap properties;
};
// One action KRunner may offer on a match: (sss).
struct RunnerAction
{
    QString id;
    QString text;
    QString iconName;
};
QDBusArgument& operator<<(QDBusArgument& argument, const RunnerMatch& match);
const QDBusArgument& operator>>(const QDBusArgument& argument, RunnerMatch& match);
QDBusArgument& operator<<(QDBusArgument& argument, const RunnerAction& action);
const QDBusArgument& operator>>(const QDBusArgument& argument, RunnerAction& action);
Q_DECLARE_METATYPE(RunnerMatch)
Q_DECLARE_METATYPE(RunnerAction)

// org.kde.krunner1: what KDE's KRunner asks while the user types.
class KRunnerProvider : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.krunner1")

public:
    static constexpr int kExactMatch = 100;
    static constexpr int kPossibleMatch = 30;

    KRunnerProvider(DesktopSearch& owner, QObject* parent);
    // Makes the match and action types known to the bus; once per process.
    static void RegisterTypes();

public Q_SLOTS:
    // No actions besides running a match.
    QList<RunnerAction> Actions();
    QList<RunnerMatch> Match(const QString& query);
    void Run(const QString& matchId, const QString& actionId);
    void Teardown();

private:
    DesktopSearch& m_owner;
};
