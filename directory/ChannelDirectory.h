#pragma once

#include "directory/ChannelCatalogue.h"

#include <QByteArray>
#include <QObject>
#include <vector>

class ContentServer;
struct InterfaceArchive;

// The one owner of the catalogue's state: the package, the channel list, which channels the
// package offers and the favourites ("My Channels"). Everything else reads it and asks it for
// changes; it announces each change that really happened, so the radio window, the channel tree
// and the playback never keep a copy that can go stale. Favourites are written to
// "favoutites.dat" here and nowhere else.
class ChannelDirectory : public QObject
{
    Q_OBJECT

public:
    explicit ChannelDirectory(QObject* parent = nullptr);

    // Start-up: the package, the channel list from the archive's "channels.rd" (every record
    // counts as offered until an availability answer is applied) and the favourites an earlier
    // run kept.
    void Load(const ContentServer& server, const InterfaceArchive& archive);
    // Puts a built catalogue in place (a test's, or an import's).
    void SetCatalogue(Catalogue catalogue);
    // Exit: the list is released; nothing can be chosen from it afterwards.
    void Release();

    const Catalogue& Package() const { return m_catalogue; }
    const ChannelList& Channels() const { return m_catalogue.RadioChannelList; }
    TextEncoding Encoding() const { return m_catalogue.RadioChannelList.encoding; }

    // The address of the package's availability text; empty when there is nothing to fetch.
    // Asking for it starts the wait for the answer (IsAvailabilityPending).
    QByteArray BeginAvailability();
    // The content server's answer (the empty text for a failed fetch: nothing offered).
    void ApplyAvailability(const QByteArray& flags);
    // True from BeginAvailability until the answer is applied: until then no record counts as
    // offered or not, and nothing is chosen or listed.
    bool IsAvailabilityPending() const { return m_availabilityPending; }
    bool IsOffered(int index) const;
    // The first record of that name, or -1.
    int FindByName(const QByteArray& name) const;
    // The first offered record of that name, else FindByName's.
    int FindOfferedByName(const QByteArray& name) const;

    // Takes the favourites an earlier run kept in "favoutites.dat" (none when it is missing).
    void ReadFavouritesFile();
    // The favourites in the order they were added.
    const std::vector<QByteArray>& Favourites() const { return m_favourites; }
    bool IsFavourite(const QByteArray& name) const;
    // "Add to My Channels": false (and nothing written) for a favourite already or a name the
    // file cannot hold (CanBeFavourite); otherwise appended and "favoutites.dat" written whole.
    bool AddFavourite(const QByteArray& name);
    // "Remove from My Channels": false when it is none; otherwise dropped and the file written.
    bool RemoveFavourite(const QByteArray& name);
    // The favourites as the file holds them: `name#name#`.
    QByteArray FavouritesText() const;

Q_SIGNALS:
    // Which channels are offered changed (the start-up answer came, or the list was replaced).
    void AvailabilityChanged();
    // A favourite was added or removed.
    void FavouritesChanged();

private:
    void SaveFavourites() const;

    Catalogue m_catalogue;
    std::vector<QByteArray> m_favourites;
    bool m_availabilityPending = false;
};
