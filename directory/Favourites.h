#pragma once

#include "directory/ChannelCatalogue.h"

#include <QByteArray>
#include <vector>

// "My Channels": the favourites the user added from the channel tree's context menu, owned by
// ChannelDirectory in the order they were added, and kept in "favoutites.dat" as
// `name#name#...` byte for byte (the catalogue's own encoding, no line end).

// The names of a favourites text in order: every whole `name#` entry. A tail without its "#",
// an empty entry, one holding a control byte (NUL included) and a repeat of an earlier name are
// passed over: only what the program itself can have written counts.
std::vector<QByteArray> FavouriteNames(const QByteArray& text);

// The favourites text the names above make: what was whole in `bytes`, without the rest.
QByteArray CleanFavouritesText(const QByteArray& bytes);

// "favoutites.dat" of an earlier run as a favourites text; empty when it is missing or cannot be
// read. At most kMaxFavouritesFileBytes are read.
QByteArray ReadFavourites();
constexpr qint64 kMaxFavouritesFileBytes = 1024 * 1024;

// Whether `name` is one of the favourites: equal to a whole entry, not a part of one.
bool IsFavourite(const QByteArray& text, const QByteArray& name);

// A name the favourites text can hold: not empty, no "#" (it ends an entry) and no control byte.
bool CanBeFavourite(const QByteArray& name);

