#pragma once

#include "directory/ChannelCatalogue.h"

#include <QByteArray>

// The catalogue's small files in the working folder. Every name is relative to the current
// directory, which start-up makes the working folder. Every write replaces the whole file
// atomically; a write that fails leaves the previous file as it was and returns false, and
// nothing is reported to the user.

// "channel.dat": line 1 the package the channel was chosen under, LF, line 2 the name with no
// line end (the channel tree's form).
bool SaveLastChannel(const Catalogue& catalogue, const QByteArray& name);

// "channel.dat" as SaveLastChannel, but the name followed by LF (the radio window's form,
// also used to store "random").
bool SaveLastChannelWithLineEnd(const Catalogue& catalogue, const QByteArray& name);

// Line 1 of "channel.dat": the 8 characters that start at the first "package" in
// `packageFolderAddress` (fewer when the address ends sooner), or "package0" when it holds none.
QByteArray LastChannelPackage(const QByteArray& packageFolderAddress);

// The channel to start with: "" when "channel.dat" cannot be opened; "random" when
// `packageName` sorts before the package stored on line 1 (byte-wise, as strcmp compares);
// otherwise line 2. A line ends at LF or at the end of the file.
QByteArray ReadStartChannel(const QByteArray& packageName);
// The same from the file's bytes.
QByteArray StartChannelFromBytes(const QByteArray& bytes, const QByteArray& packageName);

// Line 2 of "channel.dat" as it stands, whatever package line 1 names; "" when the file cannot
// be opened.
QByteArray ReadSavedChannelName();

// "favoutites.dat": the favourites text exactly, no line end.
bool SaveFavourites(const QByteArray& favouritesText);

// "tv.dat": the name of the channel last started from the channel tree, no line end.
bool SaveTreeChannel(const QByteArray& name);
