#include "radio/DesktopSearch.h"

#include "app/AnsiText.h"
#include "directory/CatalogueSearch.h"
#include "radio/KRunnerProvider.h"
#include "radio/RadioPlayback.h"
#include "radio/SearchProvider.h"

#include <QDBusConnectionInterface>
#include <QDBusReply>
#include <QLoggingCategory>
#include <QMetaObject>
#include <QTimer>

Q_LOGGING_CATEGORY(lcDesktopSearch, "wavelark.desktopsearch")

namespace {

// Once start-up has settled (the channel list is read by then), the index is built on a worker
// before the first search asks for it.
constexpr int kIndexWarmUpMs = 3000;

} // namespace

DesktopSearch::DesktopSearch(CatalogueSearch& search, RadioPlayback& playback, Actions actions,
                             QObject* parent)
    : QObject(parent), m_search(search), m_playback(playback), m_actions(std::move(actions)),
      m_bus(QString())
{
    KRunnerProvider::RegisterTypes();
    m_provider = new SearchProvider(*this, this);
    m_runner = new KRunnerProvider(*this, this);
    QTimer::singleShot(kIndexWarmUpMs, this, [this] { m_search.Prepare(); });
}

DesktopSearch::~DesktopSearch()
{
    if (!m_published)
        return;
    m_bus.unregisterService(QString::fromLatin1(kServiceName));
    m_bus.unregisterObject(QString::fromLatin1(kProviderPath));
    m_bus.unregisterObject(QString::fromLatin1(kRunnerPath));
}

bool DesktopSearch::Publish(const QDBusConnection& bus)
{
    if (m_published)
        return true;
    // Without a bus the program says so once, in the media controls' line.
    if (!bus.isConnected()) {
        qCDebug(lcDesktopSearch) << "no session bus:" << bus.lastError().message();
        return false;
    }
    QDBusConnection connection = bus;
    const QString provider = QString::fromLatin1(kProviderPath);
    const QString runner = QString::fromLatin1(kRunnerPath);
    const QString name = QString::fromLatin1(kServiceName);
    if (!connection.registerObject(provider, m_provider, QDBusConnection::ExportAllSlots) ||
        !connection.registerObject(runner, m_runner, QDBusConnection::ExportAllSlots)) {
        qCWarning(lcDesktopSearch) << "cannot export the search objects on the session bus";
        connection.unregisterObject(provider);
        connection.unregisterObject(runner);
        return false;
    }
    const QDBusReply<QDBusConnectionInterface::RegisterServiceReply> reply =
        connection.interface()->registerService(name, QDBusConnectionInterface::DontQueueService,
                                                QDBusConnectionInterface::DontAllowReplacement);
    if (!reply.isValid() || reply.value() != QDBusConnectionInterface::ServiceRegistered) {
        qCWarning(lcDesktopSearch).noquote()
            << name << "is taken on the session bus:"
            << (reply.isValid() ? QStringLiteral("owned by another program")
                                : reply.error().message());
        connection.unregisterObject(provider);
        connection.unregisterObject(runner);
        return false;
    }
    m_bus = connection;
    m_published = true;
    qCInfo(lcDesktopSearch).noquote() << "on the session bus as" << name;
    return true;
}

std::vector<SearchHit> DesktopSearch::Hits(const QString& query)
{
    return m_search.Find(query, StationSearch::kDesktopResults);
}

QStringList DesktopSearch::ResultIds(const QStringList& terms)
{
    QStringList ids;
    for (const SearchHit& hit : Hits(terms.join(QLatin1Char(' '))))
        ids.append(QString::number(hit.record));
    return ids;
}

int DesktopSearch::RecordOf(const QString& id) const
{
    bool ok = false;
    const int record = id.toInt(&ok);
    const ChannelList& list = m_search.TheCatalogue().RadioChannelList;
    if (!ok || record < 0 || size_t(record) >= list.records.size() ||
        list.records[size_t(record)].name.isEmpty())
        return -1;
    return record;
}

bool DesktopSearch::Describe(const QString& id, QString& name, QString& description) const
{
    const int record = RecordOf(id);
    if (record < 0)
        return false;
    const ChannelList& list = m_search.TheCatalogue().RadioChannelList;
    const ChannelRecord& channel = list.records[size_t(record)];
    name = DecodeText(list.encoding, channel.name);
    QStringList parts;
    const QString country = DecodeText(list.encoding, channel.category);
    if (!country.isEmpty())
        parts.append(country);
    parts.append(ReadChannelInfo(DecodeText(list.encoding, channel.infoText)).keywords);
    description = parts.join(QStringLiteral(" · "));
    return true;
}

void DesktopSearch::Activate(const QString& id)
{
    const int record = RecordOf(id);
    if (record < 0) {
        qCWarning(lcDesktopSearch) << "no channel" << id << "to start";
        return;
    }
    const QByteArray name = m_search.TheCatalogue().RadioChannelList.records[size_t(record)].name;
    // After the bus call has been answered: the start may show a message, whose loop the
    // desktop must not wait for.
    QMetaObject::invokeMethod(
        this, [this, name] { m_playback.PlayTreeChannel(name); }, Qt::QueuedConnection);
}

void DesktopSearch::LaunchSearch(const QStringList& terms)
{
    const QString text = terms.join(QLatin1Char(' '));
    QMetaObject::invokeMethod(
        this,
        [this, text] {
            if (m_actions.launchSearch)
                m_actions.launchSearch(text);
        },
        Qt::QueuedConnection);
}
