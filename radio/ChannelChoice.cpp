#include "radio/ChannelChoice.h"

#include <QTime>

ClockReading SystemLocalClock()
{
    const QTime now = QTime::currentTime();
    return {now.minute(), now.second()};
}

int RandomIndexFor(ClockReading reading, int count)
{
    if (count <= 0)
        return -1;
    return (((reading.seconds + reading.minutes) ^ 3) + 1234) % count;
}

int PickRandomChannel(const ChannelList& list, const LocalClock& clock)
{
    const int count = static_cast<int>(list.records.size());
    if (count <= 0)
        return -1;
    ClockReading reading = clock();
    // One hour of readings covers every (minutes, seconds) pair the clock can show.
    for (int step = 0; step < 60 * 60; ++step) {
        const int index = RandomIndexFor(reading, count);
        if (list.records[static_cast<size_t>(index)].available == 1)
            return index;
        if (++reading.seconds == 60) {
            reading.seconds = 0;
            reading.minutes = (reading.minutes + 1) % 60;
        }
    }
    return -1;
}

int ChooseChannel(const ChannelList& list, const QByteArray& name, PlayMode mode,
                  const LocalClock& clock)
{
    if (list.records.empty())
        return -1;
    if (mode == PlayMode::Random)
        return PickRandomChannel(list, clock);
    const int index = FindChannelByName(list, name);
    return index >= 0 ? index : 0;
}
