// The reconnect rules on a clock the test moves by hand.

#include "radio/ReconnectPolicy.h"

#include <gtest/gtest.h>
#include <vector>

namespace {

using std::chrono::seconds;

class ReconnectPolicyTest : public ::testing::Test
{
protected:
    void Pass(seconds s) { m_now += s; }

    ReconnectPolicy::TimePoint m_now{seconds(1000)};
    ReconnectPolicy m_policy{[this] { return m_now; }};
};

TEST_F(ReconnectPolicyTest, PausesGrowToThirtySecondsAndStayThere)
{
    std::vector<long> pauses;
    for (int i = 0; i < 8; ++i) {
        const seconds pause = m_policy.StreamLost();
        pauses.push_back(long(pause.count()));
        Pass(pause);
    }
    EXPECT_EQ(pauses, (std::vector<long>{1, 2, 4, 8, 16, 30, 30, 30}));
}

TEST_F(ReconnectPolicyTest, OnlyAMinuteOfPlayResetsThePauses)
{
    struct Case
    {
        const char* name;
        seconds played;
        long nextPause;
    };
    for (const Case c : {Case{"short play", seconds(59), 8}, Case{"a minute", seconds(60), 1},
                         Case{"an hour", seconds(3600), 1}}) {
        SCOPED_TRACE(c.name);
        m_policy.Reset();
        for (int i = 0; i < 3; ++i) // 1, 2, 4
            m_policy.StreamLost();
        m_policy.AudioStarted();
        Pass(c.played);
        EXPECT_EQ(m_policy.StreamLost().count(), c.nextPause);
    }
    // A user's new start always begins at the first pause.
    m_policy.StreamLost();
    m_policy.Reset();
    EXPECT_EQ(m_policy.StreamLost().count(), 1);
}

TEST_F(ReconnectPolicyTest, AsksForTheAddressAgainOnlyWhenItKeepsFailingAndBoundedly)
{
    // Drops of a stream that plays in between never ask.
    for (int i = 0; i < 10; ++i) {
        m_policy.AudioStarted();
        Pass(seconds(5));
        m_policy.StreamLost();
        EXPECT_FALSE(m_policy.TakeRefetch());
    }
    // Attempts without any audio: every third one asks, at most kMaxRefetches times.
    int refetches = 0;
    std::vector<int> askedAt;
    for (int attempt = 1; attempt <= 20; ++attempt) {
        m_policy.StreamLost();
        if (m_policy.TakeRefetch()) {
            ++refetches;
            askedAt.push_back(attempt);
        }
    }
    EXPECT_EQ(askedAt, (std::vector<int>{3, 6}));
    EXPECT_EQ(refetches, ReconnectPolicy::kMaxRefetches);

    // A minute of play opens the budget again.
    m_policy.AudioStarted();
    Pass(seconds(61));
    m_policy.StreamLost();
    m_policy.StreamLost();
    m_policy.StreamLost();
    EXPECT_FALSE(m_policy.TakeRefetch()) << "the lost stream had played: two silent failures";
    m_policy.StreamLost();
    EXPECT_TRUE(m_policy.TakeRefetch());
}

} // namespace
