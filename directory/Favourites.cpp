#include "directory/Favourites.h"

#include <QFile>
#include <QString>
#include <algorithm>

namespace {

bool HasControlByte(const QByteArray& name)
{
    return std::any_of(name.begin(), name.end(),
                       [](char c) { return static_cast<unsigned char>(c) < 0x20; });
}

} // namespace

bool CanBeFavourite(const QByteArray& name)
{
    return !name.isEmpty() && !name.contains('#') && !HasControlByte(name);
}

std::vector<QByteArray> FavouriteNames(const QByteArray& text)
{
    std::vector<QByteArray> names;
    qsizetype start = 0;
    for (qsizetype end = text.indexOf('#'); end >= 0; end = text.indexOf('#', start)) {
        const QByteArray name = text.mid(start, end - start);
        start = end + 1;
        if (!CanBeFavourite(name))
            continue;
        if (std::find(names.begin(), names.end(), name) == names.end())
            names.push_back(name);
    }
    return names;
}

QByteArray CleanFavouritesText(const QByteArray& bytes)
{
    QByteArray text;
    for (const QByteArray& name : FavouriteNames(bytes)) {
        text += name;
        text += '#';
    }
    return text;
}

QByteArray ReadFavourites()
{
    QFile file(QStringLiteral("favoutites.dat"));
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    return CleanFavouritesText(file.read(kMaxFavouritesFileBytes));
}

bool IsFavourite(const QByteArray& text, const QByteArray& name)
{
    const std::vector<QByteArray> names = FavouriteNames(text);
    return std::find(names.begin(), names.end(), name) != names.end();
}
