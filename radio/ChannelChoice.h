#pragma once

#include "directory/ChannelCatalogue.h"

#include <QByteArray>
#include <functional>

// The minutes and seconds fields of the local time, 0..59 each.
struct ClockReading
{
    int minutes = 0;
    int seconds = 0;
};

// Where the random pick reads the local time; tests inject a fixed or stepping clock.
using LocalClock = std::function<ClockReading()>;
ClockReading SystemLocalClock();

enum class PlayMode {
    ByName,
    Random,
};

// The record the clock reading picks: (((seconds + minutes) XOR 3) + 1234) mod count.
int RandomIndexFor(ClockReading reading, int count);

// The random pick: the record the clock points at, and when that one is not available, the
// first available record the clock would point at in the seconds that follow. That is what
// reading the clock again and again would reach, computed without waiting; a catalogue where
// the clock can reach no available record gives -1 instead of waiting for ever.
int PickRandomChannel(const ChannelList& list, const LocalClock& clock);

// The record PlayChannel uses: by name the first record with exactly that name, or the first
// record of the list when none has it; random as above. -1 when the list is empty or nothing
// can be picked.
int ChooseChannel(const ChannelList& list, const QByteArray& name, PlayMode mode,
                  const LocalClock& clock);
