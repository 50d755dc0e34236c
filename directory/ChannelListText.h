#pragma once

#include "directory/ChannelCatalogue.h"

#include <QByteArray>
#include <QtGlobal>

struct InterfaceArchive;

// Builds a channel list from a catalogue text: a count line, then four lines per channel
// (category, infoText, number, name), each record line allowed a trailing comment. A text that
// begins with a UTF-8 byte-order mark is UTF-8 (the mark is not part of the count line); any
// other text is Windows-1252 and reads byte for byte as it always did.
//
// Besides the grammar:
// - A line that runs to the end of the text without LF is taken whole; once the text is used
//   up the parse stops and the remaining records stay empty.
// - Records the parse did not reach have empty texts, number 0, position = their index and
//   available 0 (only a parsed record starts as offered).
// - The count line comes from a file, so it is not trusted with memory: an announced count
//   larger than both kSpareChannelRecords and the number of records the text could hold is cut
//   down to the larger of the two. `count` always equals records.size(), so a loop over either
//   stays inside the list.
ChannelList ParseChannelListText(const QByteArray& text);

// Rebuilds catalogue.RadioChannelList from the archive entry "channels.rd"; a missing entry
// gives an empty list.
void ParseChannelList(Catalogue& catalogue, const InterfaceArchive& archive);

// How many empty records past what a text can hold an announced count may still create.
constexpr qint32 kSpareChannelRecords = 4096;

// Reads an integer the way atoi does: leading white space, an optional sign, then decimal
// digits up to the first other character; no digits give 0. A value outside the signed 32-bit
// range is clamped to it instead of overflowing.
qint32 ReadLeadingInteger(const QByteArray& text);
