// Feeds arbitrary bytes to the station-list import as one input file (a directory's JSON or a
// playlist, told apart by content), read as a stream. Besides crashes it stops on a catalogue
// that does not read back as the stations imported, one for one, and on a broken bound: more
// problems kept than promised, a name or an address longer than allowed.
#include "FuzzCheck.h"
#include "directory/ChannelListText.h"
#include "tools/import/StationImport.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    StationImport import;
    import.Read(bytes, QStringLiteral("fuzz"));
    const std::vector<StationImport::Station>& stations = import.Stations();
    const ChannelList list = ParseChannelListText(import.CatalogueText());
    Require(list.encoding == TextEncoding::Utf8);
    Require(list.records.size() == stations.size());
    for (size_t i = 0; i < stations.size(); ++i) {
        Require(!stations[i].name.isEmpty() && !stations[i].category.isEmpty());
        Require(list.records[i].name == stations[i].name.toUtf8());
        Require(list.records[i].category == stations[i].category.toUtf8());
        Require(list.records[i].infoText == stations[i].infoText.toUtf8());
    }
    Require(import.ContentFiles("3.0").size() == stations.size() + 9);
    Require(import.Problems().size() <= size_t(StationImport::kMaxProblemsKept));
    Require(import.ProblemCount() >= qint64(import.Problems().size()));
    for (const StationImport::Station& station : stations) {
        Require(station.name.size() <= StationImport::kMaxNameCharacters);
        Require(station.address.toUtf8().size() <= StationImport::kMaxAddressBytes);
    }
    return 0;
}
