#pragma once

#include "directory/StationSearch.h"

#include <QString>
#include <future>
#include <vector>

struct Catalogue;

// The search over the process-wide catalogue that the radio window and the desktop's search
// share. The index is built ahead on a worker (Prepare), else at the first search, and again when
// the channel list has been replaced since; the offer is read as it is at each search, so a change
// of the offer needs no rebuilding.
class CatalogueSearch
{
public:
    explicit CatalogueSearch(const Catalogue& catalogue) : m_catalogue(catalogue) {}
    // Waits for an index still being built.
    ~CatalogueSearch();

    // Starts building the index for the current list on a worker, unless it is built or being
    // built: a directory's list takes a good part of a second, which the first keystroke should
    // not wait for. The worker reads its own copy of the list, whose texts are shared.
    void Prepare();

    // Up to `limit` hits, best first. A name the catalogue lists more than once is one hit, at
    // its best place: the tree starts the first record of a name whichever was clicked.
    std::vector<SearchHit> Find(const QString& query, int limit);

    // The index as it stands for the current list, built if needed.
    const StationSearch& Index();
    const Catalogue& TheCatalogue() const { return m_catalogue; }

private:
    const Catalogue& m_catalogue;
    StationSearch m_index;
    bool m_built = false;
    // What the index was built from: the list's records and their count.
    const void* m_builtRecords = nullptr;
    size_t m_builtCount = 0;
    // The index being built on a worker, and what for.
    std::future<StationSearch> m_pending;
    const void* m_pendingRecords = nullptr;
    size_t m_pendingCount = 0;
};
