#include "directory/StreamFetch.h"

#include "directory/ContentServer.h"
#include "directory/HttpFetch.h"

namespace {

// The server's own error page, served in place of a missing entry, starts like this.
constexpr char kWebPagePrefix[] = "<!DOCTYP";

// The text of a fetch, or the empty text for an internet error.
FetchResult Fetch(const QByteArray& address, const ContentServer& server,
                  const std::atomic<bool>* cancel, int keptBytes = kFetchKeptBytes)
{
    FetchLimits limits;
    limits.cancel = cancel;
    limits.keptBytes = keptBytes;
    FetchResult result = HttpFetch(address, server.UserAgent(), kEntryFetchSettings, limits);
    if (!result.ok)
        result.text.clear();
    return result;
}

} // namespace

QByteArray EntryLine(QByteArray text)
{
    const qsizetype lineEnd = text.indexOf('\n');
    if (lineEnd >= 0)
        text.truncate(lineEnd);
    if (text.startsWith(kWebPagePrefix))
        text.clear();
    return text;
}

void ResolvePackage(Catalogue& catalogue, const ContentServer& server)
{
    catalogue.PackageName = kDefaultPackageName;
    catalogue.PackageFolderAddress =
        server.RadioCatalogueBase() + "freechannels" + '/' + catalogue.PackageName + '/';
}

QByteArray TakeAvailabilityAddress(Catalogue& catalogue)
{
    QByteArray& folder = catalogue.PackageFolderAddress;
    if (folder.isEmpty())
        return QByteArray();
    if (folder.endsWith('/') || folder.endsWith('\\'))
        folder.chop(1);
    return folder + ".rd";
}

QByteArray FetchAvailability(const QByteArray& address, const ContentServer& server,
                             const std::atomic<bool>* cancel)
{
    return Fetch(address, server, cancel, kAvailabilityKeptBytes).text;
}

QByteArray FetchEntryText(const QByteArray& packageFolderAddress, const ContentServer& server,
                          int n, const std::atomic<bool>* cancel)
{
    const QByteArray address = packageFolderAddress + '/' + QByteArray::number(n) + ".rd";
    const FetchResult result = Fetch(address, server, cancel);
    // Any server's error page is not the file, whatever it starts with (the vendor's own is
    // also told by its first bytes).
    if (result.status < 200 || result.status > 299)
        return QByteArray();
    return EntryLine(result.text);
}
