#pragma once

#include "directory/ChannelCatalogue.h"

#include <QByteArray>

struct InterfaceArchive;

// Builds a channel list from a catalogue text: a count line, then four lines per channel
// (category, infoText, number, name), each record line allowed a trailing comment.
ChannelList ParseChannelListText(const QByteArray& text);

// Rebuilds catalogue.RadioChannelList from the archive entry "channels.rd"; a missing entry
// gives an empty list.
void ParseChannelList(Catalogue& catalogue, const InterfaceArchive& archive);
