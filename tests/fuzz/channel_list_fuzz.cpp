// Feeds arbitrary bytes to the channel list parser as a catalogue text. Besides crashes it stops
// on a list whose records disagree with its count or whose cleaned texts still hold a line end.
#include "FuzzCheck.h"
#include "directory/ChannelListText.h"

#include <QLoggingCategory>
#include <cstdint>

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    QLoggingCategory::setFilterRules(QStringLiteral("wavelark.*=false"));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray text(reinterpret_cast<const char*>(data), qsizetype(size));
    const ChannelList list = ParseChannelListText(text);
    Require(list.count >= 0);
    Require(list.records.size() == size_t(list.count));
    for (const ChannelRecord& record : list.records) {
        for (const QByteArray* line : {&record.category, &record.infoText, &record.name})
            Require(!line->contains('\n') && !line->endsWith('\r') && !line->endsWith(' '));
    }
    return 0;
}
