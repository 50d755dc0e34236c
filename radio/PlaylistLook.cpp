#include "radio/PlaylistLook.h"

#include <QUrl>

PlaylistLook LookForPlaylist(const QString& address, const QByteArray& userAgent,
                             const std::atomic<bool>* cancel)
{
    PlaylistLook look;
    const QString scheme = QUrl(address).scheme().toLower();
    if (scheme != QLatin1String("http") && scheme != QLatin1String("https")) {
        // icy://, mms:// and the rest are streams by their nature.
        look.answered = true;
        return look;
    }
    FetchLimits limits;
    limits.keptBytes = kMaxPlaylistBytes;
    limits.keepReading = &MayBePlaylist;
    limits.cancel = cancel;
    const FetchResult fetched =
        HttpFetch(address.toUtf8(), userAgent, kPlaylistFetchSettings, limits);
    if (!fetched.ok) {
        look.error = fetched.error;
        return look;
    }
    look.answered = true;
    if (fetched.status < 200 || fetched.status > 299) {
        look.error = QStringLiteral("HTTP status %1").arg(fetched.status);
        return look;
    }
    look.playlist = ReadPlaylist(fetched.contentType, fetched.text, address);
    return look;
}
