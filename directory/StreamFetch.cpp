#include "directory/StreamFetch.h"

#include "directory/ContentServer.h"
#include "directory/HttpFetch.h"

namespace {

// The server's own error page, served in place of a missing entry, starts like this.
constexpr char kWebPagePrefix[] = "<!DOCTYP";

// The text of a fetch, or the empty text for an internet error.
QByteArray FetchText(const QByteArray& address, const ContentServer& server,
                     const std::atomic<bool>* cancel = nullptr)
{
    FetchLimits limits;
    limits.cancel = cancel;
    FetchResult result = HttpFetch(address, server.UserAgent(), kEntryFetchSettings, limits);
    return result.ok ? result.text : QByteArray();
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

void FetchRadioAvailability(Catalogue& catalogue, const ContentServer& server)
{
    QByteArray& folder = catalogue.PackageFolderAddress;
    if (folder.isEmpty())
        return;
    if (folder.endsWith('/') || folder.endsWith('\\'))
        folder.chop(1);
    // Every byte counts, a web page included: only a "1" offers a channel.
    ApplyAvailability(catalogue.RadioChannelList, FetchText(folder + ".rd", server));
}

QByteArray FetchEntryText(const Catalogue& catalogue, const ContentServer& server, int n,
                          int showError, const MessageSink& showMessage)
{
    const QByteArray text =
        FetchEntryTextQuietly(catalogue.PackageFolderAddress, server, n, nullptr);
    if (text.isEmpty() && showError == 1 && showMessage)
        showMessage(QByteArray(kChannelInfoUnavailableMessage));
    return text;
}

QByteArray FetchEntryTextQuietly(const QByteArray& packageFolderAddress,
                                 const ContentServer& server, int n,
                                 const std::atomic<bool>* cancel)
{
    const QByteArray address = packageFolderAddress + '/' + QByteArray::number(n) + ".rd";
    return EntryLine(FetchText(address, server, cancel));
}

QByteArray StreamAddressForName(Catalogue& catalogue, const ContentServer& server,
                                const QByteArray& name, int showError,
                                const MessageSink& showMessage)
{
    catalogue.CurrentStreamAddress.clear();
    const auto& records = catalogue.RadioChannelList.records;
    const int index = FindChannelByName(catalogue.RadioChannelList, name);
    if (index >= 0 && static_cast<size_t>(index) < records.size()) {
        catalogue.CurrentStreamAddress =
            FetchEntryText(catalogue, server, records[static_cast<size_t>(index)].position + 1,
                           showError, showMessage);
    }
    return catalogue.CurrentStreamAddress;
}
