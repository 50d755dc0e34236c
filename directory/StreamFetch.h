#pragma once

#include "directory/ChannelCatalogue.h"

#include <QByteArray>
#include <atomic>
#include <functional>

class ContentServer;

// Shows a message to the user and returns when the user has closed it. The directory has no
// widgets; the radio window connects this to its modal message dialog.
using MessageSink = std::function<void(const QByteArray& text)>;

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

// Drops a trailing "/" or "\" from PackageFolderAddress for good, fetches
// PackageFolderAddress + ".rd" and applies the text as the channels' availability; a failed fetch
// applies the empty text, so no channel is offered. Does nothing when the address is empty.
void FetchRadioAvailability(Catalogue& catalogue, const ContentServer& server);

// Fetches stream file number n (PackageFolderAddress + "/" + n + ".rd") and returns its first
// line (a CR before the LF stays), or the empty text for an internet error, an empty first line
// or a web page served in its place. With showError 1 an empty result is reported through
// showMessage, once.
QByteArray FetchEntryText(const Catalogue& catalogue, const ContentServer& server, int n,
                          int showError, const MessageSink& showMessage);

// FetchEntryText of stream file `n` under `packageFolderAddress` without any message, for a
// fetch off the window thread: setting `cancel` ends it early with the empty text.
QByteArray FetchEntryTextQuietly(const QByteArray& packageFolderAddress,
                                 const ContentServer& server, int n,
                                 const std::atomic<bool>* cancel);

// Clears CurrentStreamAddress; when a channel carries `name`, sets it to FetchEntryText of that
// channel's file. Returns a copy of CurrentStreamAddress. An unknown name fetches nothing and
// shows nothing.
QByteArray StreamAddressForName(Catalogue& catalogue, const ContentServer& server,
                                const QByteArray& name, int showError,
                                const MessageSink& showMessage);
