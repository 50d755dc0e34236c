#pragma once

#include "directory/ChannelCatalogue.h"

#include <QByteArray>
#include <atomic>

class ContentServer;

// The first line of a stream file's text, up to LF; empty for the server's error page (a web
// page instead of the file).
QByteArray EntryLine(QByteArray text);

// The one message a failed stream-address fetch shows.
inline constexpr char kChannelInfoUnavailableMessage[] =
    "We are unable to access Channel Information at this time";

// The package every start-up resolves to.
inline constexpr char kDefaultPackageName[] = "package0";

// Sets PackageName to "package0" and PackageFolderAddress to
// RadioCatalogueBase + "freechannels/package0/".
void ResolvePackage(Catalogue& catalogue, const ContentServer& server);

// Drops a trailing "/" or "\" from PackageFolderAddress for good and returns the address of
// the package's availability text, PackageFolderAddress + ".rd"; the empty text when the folder
// address is empty (nothing is to be fetched then).
QByteArray TakeAvailabilityAddress(Catalogue& catalogue);

// One character per channel: enough for the largest catalogues (a public directory holds about
// 50,000 stations), where a stream file's 1 KiB would offer only the first 1,024 channels.
inline constexpr int kAvailabilityKeptBytes = 1024 * 1024;

// The availability text at `address`, every byte of it (a web page included: only a "1" offers a
// channel); the empty text for an internet error, so that no channel is offered. Safe to call
// off the window thread: setting `cancel` ends it early with the empty text.
QByteArray FetchAvailability(const QByteArray& address, const ContentServer& server,
                             const std::atomic<bool>* cancel = nullptr);

// Fetches stream file number n (packageFolderAddress + "/" + n + ".rd") and returns its first
// line (a CR before the LF stays), or the empty text for an internet error, an answer other than
// 2xx, an empty first line or a web page served in its place. Safe to call off the window thread:
// setting `cancel` ends it early with the empty text.
QByteArray FetchEntryText(const QByteArray& packageFolderAddress, const ContentServer& server,
                          int n, const std::atomic<bool>* cancel = nullptr);
