// The radio window's country list and channel tree: what they list, and how they follow the
// playing channel, the package's offer and the favourites.

#include "app/AnsiText.h"
#include "directory/ChannelCatalogue.h"
#include "directory/ChannelDirectory.h"
#include "directory/ChannelTree.h"
#include "radio/RadioPlayback.h"
#include "radio/Station.h"
#include "radio/StationLayout.h"
#include "radio/WindowSearch.h"

#include <QComboBox>
#include <QTreeWidgetItem>

namespace {

// The country list's last entry while there are favourites. Its entry is told apart from a
// country by this role, not by its text, so a country of the same name stays a country.
const QByteArray kMyChannelsText("My Channels");
constexpr int kMyChannelsRole = Qt::UserRole + 1;

} // namespace

void CStation::ShowCountriesAndPlayingChannel()
{
    FillCountryList();
    FillChannelTree(0);
    ShowPlayingChannel();
}

int CStation::FillCountryList()
{
    m_countryList->clear();
    // Until the package's offer is known no country can be listed: the list fills when the
    // answer comes (AvailabilityChanged).
    if (m_context.directory.IsAvailabilityPending())
        return 0;
    const ChannelDirectory& directory = m_context.directory;
    std::vector<QByteArray> countries = CountriesToList(directory.Channels());
    SortCountries(countries, directory.Encoding());
    for (const QByteArray& country : countries)
        m_countryList->addItem(DecodeText(directory.Encoding(), country), country);
    if (!directory.Favourites().empty()) {
        m_countryList->addItem(DecodeAnsi(kMyChannelsText));
        m_countryList->setItemData(m_countryList->count() - 1, true, kMyChannelsRole);
    }
    m_countryList->setCurrentIndex(m_countryList->count() > 0 ? 0 : -1);
    if (m_search)
        m_search->AddResultsEntry();
    return static_cast<int>(countries.size());
}

bool CStation::IsMyChannels(int countryIndex) const
{
    return m_countryList->itemData(countryIndex, kMyChannelsRole).toBool();
}

void CStation::FillMyChannels()
{
    m_tree->clear();
    QTreeWidgetItem* root = m_tree->AddRoot();
    const ChannelDirectory& directory = m_context.directory;
    for (const QByteArray& name : directory.Favourites()) {
        // The record a click starts: the name's first offered one.
        m_tree->AddChannel(root, name, directory.IsOffered(directory.FindOfferedByName(name)));
    }
    MarkPlayingChannel();
}

void CStation::OnFavouritesChanged()
{
    const bool showingMine = IsMyChannels(m_countryList->currentIndex());
    const QVariant shownCountry = m_countryList->currentData();
    FillCountryList();
    const int mine = m_countryList->findData(true, kMyChannelsRole);
    if (showingMine && mine >= 0) {
        m_countryList->setCurrentIndex(mine);
        FillMyChannels();
    } else if (showingMine) {
        // The last favourite went: back to the playing channel's country.
        FillChannelTree(0);
        ShowPlayingChannel();
    } else {
        // A country stays as it is shown, its tree untouched.
        const int country = m_countryList->findData(shownCountry);
        m_countryList->setCurrentIndex(country >= 0 ? country : 0);
    }
}

int CStation::FillChannelTree(int countryIndex)
{
    if (m_search && m_search->IsResultsEntry(countryIndex))
        return m_search->FillResults();
    if (IsMyChannels(countryIndex)) {
        FillMyChannels();
        return m_tree->topLevelItem(0)->childCount();
    }
    m_tree->clear();
    QTreeWidgetItem* root = m_tree->AddRoot();
    // No such entry (the playing channel's country is not listed): the root alone, not the
    // channels of an empty category.
    if (countryIndex < 0 || countryIndex >= m_countryList->count())
        return 0;
    const QByteArray country = m_countryList->itemData(countryIndex).toByteArray();
    const ChannelList& list = m_context.directory.Channels();
    const std::vector<int> channels = ChannelsOfCountry(list, country);
    std::vector<QByteArray> names;
    names.reserve(channels.size());
    for (const int index : channels)
        names.push_back(list.records[static_cast<size_t>(index)].name);
    m_tree->AddChannels(root, names);
    return static_cast<int>(channels.size());
}

void CStation::PlayRandomHere()
{
    m_context.playback.PlayRandomHere();
}

void CStation::ShowPlayingChannel()
{
    const QByteArray& selected = m_context.playback.SelectedChannelName();
    const ChannelList& list = m_context.directory.Channels();
    const int record = FindChannelByName(list, selected);
    if (record < 0)
        return;
    const QByteArray& category = list.records[static_cast<size_t>(record)].category;
    int item = m_countryList->findData(category);
    if (item < 0)
        item = m_countryList->count();
    else
        m_countryList->setCurrentIndex(item);
    FillChannelTree(item);
    MarkPlayingChannel();
}

void CStation::FollowSelectedChannel()
{
    const QByteArray& selected = m_context.playback.SelectedChannelName();
    // Shown in the tree as it is (the user's own choice, or one of the favourites shown):
    // marked there; otherwise the channel's country is shown.
    QTreeWidgetItem* root = m_tree->topLevelItemCount() > 0 ? m_tree->topLevelItem(0) : nullptr;
    for (int i = 0; root && i < root->childCount(); ++i) {
        if (CMediaView::ItemName(root->child(i)) == selected) {
            m_tree->clearSelection();
            MarkPlayingChannel();
            return;
        }
    }
    ShowPlayingChannel();
}

void CStation::MarkPlayingChannel()
{
    const QByteArray& selected = m_context.playback.SelectedChannelName();
    // Every visible item after the root that carries the name is shown selected.
    QTreeWidgetItem* root = m_tree->topLevelItemCount() > 0 ? m_tree->topLevelItem(0) : nullptr;
    if (!root)
        return;
    bool first = true;
    for (int i = 0; i < root->childCount(); ++i) {
        QTreeWidgetItem* channel = root->child(i);
        if ((channel->flags() & Qt::ItemIsSelectable) &&
            CMediaView::ItemName(channel) == selected) {
            m_tree->MarkSelected(channel, !first);
            m_tree->scrollToItem(channel);
            first = false;
        }
    }
}
