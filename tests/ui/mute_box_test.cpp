#include "hosted/PlayerFixture.h"
#include "ui/CheckButton.h"

#include <QSignalSpy>

namespace {

class MuteBoxTest : public PlayerFixture
{
};

// The radio window's rule for its mute box: each click sets IsMuted to the opposite of the new
// tick and toggles the mute, so the player ends up muted exactly when the box is ticked.
struct MuteWiring
{
    MediaPlayer& player;
    int IsMuted = 0;

    void ToggleMute()
    {
        if (IsMuted == 1) {
            if (player.put_mute(false))
                IsMuted = 0;
        } else if (player.put_mute(true)) {
            IsMuted = 1;
        }
    }
    void Toggled(int checked)
    {
        IsMuted = 1 - checked;
        ToggleMute();
    }
};

TEST_F(MuteBoxTest, ClickingTheMuteBoxMutesAndUnmutesThePlayer)
{
    auto player = MakePlayer("fakesink sync=true");
    ASSERT_TRUE(player);
    QSignalSpy firstAudio(player.get(), &MediaPlayer::FirstAudio);
    ASSERT_TRUE(player->put_URL(Streams().Url(QStringLiteral("tone.ogg"))));
    ASSERT_TRUE(WaitUntil([&] { return !firstAudio.isEmpty(); }, kStartTimeoutMs));

    QWidget window;
    auto* mute = new CCheckButton(QStringLiteral("Mute"), &window);
    mute->setGeometry(10, 10, 60, 16);
    MuteWiring wiring{*player};
    QObject::connect(mute, &CCheckButton::Toggled, [&](int checked) { wiring.Toggled(checked); });
    window.show();

    ASSERT_FALSE(player->Muted());
    for (int click = 1; click <= 4; ++click) {
        SCOPED_TRACE(click);
        QTest::mouseClick(mute, Qt::LeftButton, {}, QPoint(5, 5));
        EXPECT_EQ(mute->IsChecked(), click % 2);
        EXPECT_EQ(player->Muted(), mute->IsChecked() == 1);
        EXPECT_EQ(wiring.IsMuted, mute->IsChecked());
    }

    // After the volume slider clears the tick, the next click ticks it and mutes again.
    mute->Clear();
    QTest::mouseClick(mute, Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_EQ(mute->IsChecked(), 1);
    EXPECT_TRUE(player->Muted());
    player->close();
}

} // namespace
