#pragma once

#include "hosted/MediaPlayer.h"
#include "support/TempFolder.h"
#include "support/TestStreams.h"
#include "support/Wait.h"

#include <QByteArray>
#include <QDeadlineTimer>
#include <QTest>
#include <gtest/gtest.h>
#include <memory>

// Shared by the playback tests: the encoded test streams (made once per suite), a temporary
// working folder per test, and players built with a chosen WAVELARK_AUDIO_SINK.
class PlayerFixture : public WithTestStreams
{
protected:
    static constexpr int kStartTimeoutMs = 5000;
    static constexpr QByteArrayView kPacedSink = "fakesink sync=true";

    void TearDown() override { qunsetenv("WAVELARK_AUDIO_SINK"); }

    static const TestStreams& Streams() { return *s_streams; }

    // A player whose audio goes to `sink` (empty: the default sink).
    static std::unique_ptr<MediaPlayer> MakePlayer(QByteArrayView sink)
    {
        if (sink.isEmpty())
            qunsetenv("WAVELARK_AUDIO_SINK");
        else
            qputenv("WAVELARK_AUDIO_SINK", sink.toByteArray());
        auto player = MediaPlayer::Create();
        qunsetenv("WAVELARK_AUDIO_SINK");
        EXPECT_NE(player, nullptr);
        return player;
    }

    // Runs the event loop for `ms` so late signals would show up.
    static void Settle(int ms) { QTest::qWait(ms); }

    TempFolder m_folder;
};
