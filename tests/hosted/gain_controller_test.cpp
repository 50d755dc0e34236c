// The levelling arithmetic on its own: RMS readings over time in, gain out.

#include "hosted/GainController.h"

#include <cmath>
#include <gtest/gtest.h>
#include <vector>

namespace {

// `seconds` of readings at `levelDb`, in 100 ms windows as the player measures.
struct Stretch
{
    double levelDb;
    double seconds;
};

struct Case
{
    const char* name;
    double startDb;
    std::vector<Stretch> stretches;
    double gainAfterDb; // the gain at the end
    double toleranceDb;
};

double Feed(GainController& controller, const std::vector<Stretch>& stretches,
            std::vector<double>* gains = nullptr)
{
    for (const Stretch& stretch : stretches) {
        for (int i = 0; i < int(std::lround(stretch.seconds * 10)); ++i) {
            const double gain = controller.AddReading(stretch.levelDb, 0.1);
            if (gains)
                gains->push_back(gain);
        }
    }
    return controller.GainDb();
}

TEST(GainController, MovesTowardTheTargetWithinItsBoundsAndRate)
{
    const double inf = INFINITY;
    const Case cases[] = {
        {"at the target: nothing to do", 0, {{-20, 10}}, 0, 0.01},
        {"10 dB too loud: down 1 dB a second", 0, {{-10, 5}}, -5, 0.01},
        {"10 dB too loud, given time: at the target", 0, {{-10, 15}}, -10, 0.01},
        {"10 dB too quiet: up 1 dB a second", 0, {{-30, 4}}, 4, 0.01},
        {"far too quiet: at most +12 dB", 0, {{-50, 30}}, 12, 0.01},
        {"far too loud: at most -12 dB", 0, {{0, 30}}, -12, 0.01},
        {"started at the learned gain: stays there", 8, {{-28, 3}}, 8, 0.01},
        {"started at a wrong gain: leaves it at the rate", 8, {{-20, 3}}, 5, 0.01},
        {"silence moves nothing", 3, {{-70, 10}, {-inf, 10}}, 3, 0.01},
        {"a pause between two quiet stretches is not raised", 0, {{-30, 3}, {-90, 20}}, 3, 0.01},
        {"a start gain beyond the bounds is clamped", 40, {}, 12, 0.01},
        // The plain mean of the first seconds: one loud second after four quiet ones makes
        // the mean power -16.8 dBFS (gain +3.2 dB), not the new level (which would head for
        // -10 dB).
        {"one loud second among quiet ones", 0, {{-30, 4}, {-10, 1}}, 3.2, 0.05},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        GainController controller(c.startDb);
        EXPECT_NEAR(Feed(controller, c.stretches), c.gainAfterDb, c.toleranceDb);
    }
}

TEST(GainController, NeverChangesFasterThanOneDecibelASecond)
{
    GainController controller;
    std::vector<double> gains;
    // A stream that jumps between extremes.
    Feed(controller, {{-45, 3}, {-3, 2}, {-60, 1}, {-35, 4}, {0, 6}}, &gains);
    double previous = 0.0;
    for (const double gain : gains) {
        EXPECT_LE(std::abs(gain - previous), 0.1 + 1e-9);
        EXPECT_LE(gain, GainController::kMaxBoostDb);
        EXPECT_GE(gain, -GainController::kMaxCutDb);
        previous = gain;
    }
}

TEST(GainController, LongOrBrokenWindowsCountAsAtMostOneSecond)
{
    GainController controller;
    EXPECT_NEAR(controller.AddReading(-40, 30.0), 1.0, 1e-9);
    EXPECT_NEAR(controller.AddReading(-40, -1.0), 1.0, 1e-9);
    EXPECT_NEAR(controller.AddReading(-40, NAN), 1.0, 1e-9);
    EXPECT_NEAR(controller.AddReading(NAN, 0.5), 1.0, 1e-9);
}

TEST(GainController, ANewStreamIsMeasuredAfreshFromTheGainReached)
{
    GainController controller;
    Feed(controller, {{-10, 30}});
    EXPECT_NEAR(controller.GainDb(), -10, 0.01);
    EXPECT_NEAR(controller.AverageDb(), -10, 0.01);
    controller.ResetAverage();
    EXPECT_TRUE(std::isnan(controller.AverageDb()));
    EXPECT_NEAR(controller.GainDb(), -10, 0.01);
    // The next stream's first reading is its level at once, not a blend with the old one.
    controller.AddReading(-30, 0.1);
    EXPECT_NEAR(controller.AverageDb(), -30, 0.01);
    EXPECT_NEAR(controller.GainDb(), -9.9, 0.01);
}

TEST(GainController, ReadingsAboveFullScaleCountAsFullScale)
{
    GainController controller;
    controller.AddReading(6, 0.1);
    EXPECT_NEAR(controller.AverageDb(), 0, 1e-9);
}

TEST(GainController, LinearGain)
{
    EXPECT_NEAR(GainController::LinearGain(0), 1.0, 1e-12);
    EXPECT_NEAR(GainController::LinearGain(-20), 0.1, 1e-12);
    EXPECT_NEAR(GainController::LinearGain(12), 3.98107, 1e-5);
}

} // namespace
