#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariantMap>
#include <functional>
#include <vector>

class CatalogueSearch;
class RadioPlayback;
struct SearchHit;

// The channel search on the desktop: GNOME Shell's search provider
// (org.gnome.Shell.SearchProvider2 at kProviderPath) and KDE's KRunner (org.kde.krunner1 at
// kRunnerPath), both under the bus name kServiceName. They find channels as the radio window's
// search does (at most kDesktopResults, best first) and start a result as a click in the
// channel tree does, saved as the last channel. They answer while the radio window is closed.
//
// A result's id is the channel's place in the catalogue, in decimal.
class DesktopSearch : public QObject
{
    Q_OBJECT

public:
    static constexpr char kServiceName[] = "org.wavelark.Wavelark";
    static constexpr char kProviderPath[] = "/org/wavelark/Wavelark/SearchProvider";
    static constexpr char kRunnerPath[] = "/org/wavelark/Wavelark/KRunner";

    struct Actions
    {
        // Opens the radio window with `terms` in its search field.
        std::function<void(const QString& terms)> launchSearch;
    };

    DesktopSearch(CatalogueSearch& search, RadioPlayback& playback, Actions actions,
                  QObject* parent = nullptr);
    ~DesktopSearch() override;

    // Exports both objects on `bus` and takes the bus name, never from another owner and never
    // queued for. False when there is no bus, or (with one log line) when the name is taken; the
    // program then runs without them.
    bool Publish(const QDBusConnection& bus);
    bool IsPublished() const { return m_published; }

    // The ids of the best channels for the words of `terms`.
    QStringList ResultIds(const QStringList& terms);
    // The hits behind ResultIds, for KRunner's relevance.
    std::vector<SearchHit> Hits(const QString& query);
    // The channel's name, and its country then its tags, for an id; false for an unknown id.
    bool Describe(const QString& id, QString& name, QString& description) const;
    // Starts the channel as a click in the channel tree does, after the bus call was answered.
    void Activate(const QString& id);
    void LaunchSearch(const QStringList& terms);

private:
    // The catalogue record an id names, or -1.
    int RecordOf(const QString& id) const;

    CatalogueSearch& m_search;
    RadioPlayback& m_playback;
    Actions m_actions;
    QDBusConnection m_bus;
    QObject* m_provider = nullptr;
    QObject* m_runner = nullptr;
    bool m_published = false;
};
