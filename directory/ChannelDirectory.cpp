#include "directory/ChannelDirectory.h"

#include "directory/ChannelListText.h"
#include "directory/Favourites.h"
#include "directory/LocalFiles.h"
#include "directory/StreamFetch.h"

#include <algorithm>

ChannelDirectory::ChannelDirectory(QObject* parent) : QObject(parent) {}

void ChannelDirectory::Load(const ContentServer& server, const InterfaceArchive& archive)
{
    Catalogue catalogue;
    ResolvePackage(catalogue, server);
    ParseChannelList(catalogue, archive);
    SetCatalogue(std::move(catalogue));
    // Additions append to what earlier runs kept.
    ReadFavouritesFile();
}

void ChannelDirectory::ReadFavouritesFile()
{
    m_favourites = FavouriteNames(ReadFavourites());
}

void ChannelDirectory::SetCatalogue(Catalogue catalogue)
{
    m_catalogue = std::move(catalogue);
    m_availabilityPending = false;
}

void ChannelDirectory::Release()
{
    m_catalogue.RadioChannelList = ChannelList();
}

QByteArray ChannelDirectory::BeginAvailability()
{
    const QByteArray address = TakeAvailabilityAddress(m_catalogue);
    m_availabilityPending = !address.isEmpty();
    return address;
}

void ChannelDirectory::ApplyAvailability(const QByteArray& flags)
{
    m_availabilityPending = false;
    ::ApplyAvailability(m_catalogue.RadioChannelList, flags);
    Q_EMIT AvailabilityChanged();
}

bool ChannelDirectory::IsOffered(int index) const
{
    const auto& records = m_catalogue.RadioChannelList.records;
    return index >= 0 && static_cast<size_t>(index) < records.size() &&
           records[static_cast<size_t>(index)].available == 1;
}

int ChannelDirectory::FindByName(const QByteArray& name) const
{
    return FindChannelByName(m_catalogue.RadioChannelList, name);
}

int ChannelDirectory::FindOfferedByName(const QByteArray& name) const
{
    return FindOfferedChannelByName(m_catalogue.RadioChannelList, name);
}

bool ChannelDirectory::IsFavourite(const QByteArray& name) const
{
    return std::find(m_favourites.begin(), m_favourites.end(), name) != m_favourites.end();
}

bool ChannelDirectory::AddFavourite(const QByteArray& name)
{
    // A whole name, not a part of one: "Beats" is a favourite of its own beside "Savanna Beats".
    // A name the file cannot hold would split into other entries when read back.
    if (!CanBeFavourite(name) || IsFavourite(name))
        return false;
    m_favourites.push_back(name);
    SaveFavourites();
    Q_EMIT FavouritesChanged();
    return true;
}

bool ChannelDirectory::RemoveFavourite(const QByteArray& name)
{
    const auto found = std::find(m_favourites.begin(), m_favourites.end(), name);
    if (found == m_favourites.end())
        return false;
    m_favourites.erase(found);
    SaveFavourites();
    Q_EMIT FavouritesChanged();
    return true;
}

QByteArray ChannelDirectory::FavouritesText() const
{
    QByteArray text;
    for (const QByteArray& name : m_favourites) {
        text += name;
        text += '#';
    }
    return text;
}

void ChannelDirectory::SaveFavourites() const
{
    ::SaveFavourites(FavouritesText());
}
