#pragma once

#include <QList>
#include <QObject>
#include <QStringList>
#include <QVariantMap>

class DesktopSearch;

// org.gnome.Shell.SearchProvider2: what GNOME Shell's overview asks while the user types.
class SearchProvider : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.gnome.Shell.SearchProvider2")

public:
    SearchProvider(DesktopSearch& owner, QObject* parent);

public Q_SLOTS:
    QStringList GetInitialResultSet(const QStringList& terms);
    // The shell narrows a search it made before; the search is fast enough to be made afresh.
    QStringList GetSubsearchResultSet(const QStringList& previousResults, const QStringList& terms);
    QList<QVariantMap> GetResultMetas(const QStringList& identifiers);
    void ActivateResult(const QString& identifier, const QStringList& terms, uint timestamp);
    void LaunchSearch(const QStringList& terms, uint timestamp);

private:
    DesktopSearch& m_owner;
};
