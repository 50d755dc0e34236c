// Feeds arbitrary bytes to the favourites reader as the content of "favoutites.dat". Besides
// crashes it stops on a text whose names the file could not hold, or that reads back otherwise.
#include "FuzzCheck.h"
#include "directory/Favourites.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    const QByteArray text = CleanFavouritesText(bytes);
    Require(text.size() <= bytes.size());
    Require(text.isEmpty() || text.endsWith('#'));
    const std::vector<QByteArray> names = FavouriteNames(text);
    for (const QByteArray& name : names) {
        Require(CanBeFavourite(name));
        Require(IsFavourite(text, name));
    }
    // What was read is written back unchanged and reads the same again.
    Require(CleanFavouritesText(text) == text);
    return 0;
}
