#include "directory/CatalogueSearch.h"

#include "directory/ChannelCatalogue.h"

#include <QElapsedTimer>
#include <QLoggingCategory>
#include <QSet>
#include <algorithm>

Q_LOGGING_CATEGORY(lcSearch, "wavelark.directory.search")

CatalogueSearch::~CatalogueSearch()
{
    if (m_pending.valid())
        m_pending.wait();
}

void CatalogueSearch::Prepare()
{
    const ChannelList& list = m_catalogue.RadioChannelList;
    const bool built =
        m_built && m_builtRecords == list.records.data() && m_builtCount == list.records.size();
    const bool pending = m_pending.valid() && m_pendingRecords == list.records.data() &&
                         m_pendingCount == list.records.size();
    if (built || pending)
        return;
    if (m_pending.valid())
        m_pending.wait();
    m_pendingRecords = list.records.data();
    m_pendingCount = list.records.size();
    m_pending = std::async(std::launch::async, [copy = list] { return StationSearch(copy); });
}

const StationSearch& CatalogueSearch::Index()
{
    const ChannelList& list = m_catalogue.RadioChannelList;
    if (m_pending.valid()) {
        // Taken when it was built for the list there is now; dropped otherwise.
        StationSearch ready = m_pending.get();
        if (m_pendingRecords == list.records.data() && m_pendingCount == list.records.size()) {
            m_index = std::move(ready);
            m_built = true;
            m_builtRecords = m_pendingRecords;
            m_builtCount = m_pendingCount;
        }
    }
    if (!m_built || m_builtRecords != list.records.data() || m_builtCount != list.records.size()) {
        QElapsedTimer clock;
        clock.start();
        m_index = StationSearch(list);
        m_built = true;
        m_builtRecords = list.records.data();
        m_builtCount = list.records.size();
        qCInfo(lcSearch).nospace()
            << "search index of " << m_index.RecordCount() << " channels built in "
            << clock.elapsed() << " ms, " << m_index.MemoryBytes() / 1024 << " KiB";
    }
    return m_index;
}

std::vector<SearchHit> CatalogueSearch::Find(const QString& query, int limit)
{
    const ChannelList& list = m_catalogue.RadioChannelList;
    // Duplicates are dropped after the search: ask for a few more so that the limit is still
    // reached where names repeat.
    std::vector<SearchHit> hits = Index().Find(query, limit < 1 ? 0 : limit * 2 + 8, list);
    std::vector<SearchHit> unique;
    unique.reserve(std::min<size_t>(hits.size(), size_t(std::max(limit, 0))));
    QSet<QByteArray> names;
    for (const SearchHit& hit : hits) {
        if (unique.size() >= size_t(limit))
            break;
        const QByteArray& name = list.records[size_t(hit.record)].name;
        if (!names.contains(name)) {
            names.insert(name);
            unique.push_back(hit);
        }
    }
    return unique;
}
