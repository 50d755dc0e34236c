#pragma once

#include "directory/HttpFetch.h"
#include "hosted/Playlist.h"

#include <QByteArray>
#include <QString>
#include <atomic>

// A look at a stream address that the player could not play: does it answer with a playlist?
struct PlaylistLook
{
    // False when the address could not be fetched at all (or the look was cancelled).
    bool answered = false;
    // NotAPlaylist also for an HTTP error status and for addresses that are not http(s).
    Playlist playlist;
    QString error;
};

// One attempt, the usual connect time-out, and the whole look within the fetch time bound.
inline constexpr FetchSettings kPlaylistFetchSettings{5000, 7000, 1};

// Fetches up to kMaxPlaylistBytes of `address`, stopping at the first bytes of anything that
// cannot be a playlist (a live stream never ends), and reads the playlist it holds. Blocks for
// at most the fetch time bound; setting `cancel` ends it within about a second. Any thread.
PlaylistLook LookForPlaylist(const QString& address, const QByteArray& userAgent,
                             const std::atomic<bool>* cancel);
