#include "directory/ChannelCatalogue.h"

#include <cstddef>

int FindChannelByName(const ChannelList& list, const QByteArray& name)
{
    // Byte for byte, letter case significant: the first record wins, so a later duplicate is
    // never reachable by name.
    for (std::size_t i = 0; i < list.records.size(); ++i) {
        if (list.records[i].name == name)
            return static_cast<int>(i);
    }
    return -1;
}

int FindOfferedChannelByName(const ChannelList& list, const QByteArray& name)
{
    for (std::size_t i = 0; i < list.records.size(); ++i) {
        if (list.records[i].name == name && list.records[i].available == 1)
            return static_cast<int>(i);
    }
    return FindChannelByName(list, name);
}

QByteArray InfoTextForName(const ChannelList& list, const QByteArray& name)
{
    const int index = FindChannelByName(list, name);
    if (index < 0)
        return QByteArray();
    return list.records[static_cast<std::size_t>(index)].infoText;
}

void ApplyAvailability(ChannelList& list, const QByteArray& flags)
{
    const std::size_t flagCount = static_cast<std::size_t>(flags.size());
    for (std::size_t i = 0; i < list.records.size(); ++i)
        list.records[i].available =
            (i < flagCount && flags[static_cast<qsizetype>(i)] == '1') ? 1 : 0;
}
