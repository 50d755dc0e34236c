// The program stays answerable while the content server is slow or failing: a hung stream file,
// a burst of failing Next calls, and the open window following a choice from the bus.

#include "radio/MprisFixture.h"

using namespace mprisfixture;
TEST_F(MprisTest, AHungStreamFileFreezesNothingAndLosesToANewerChoice)
{
    CWavelark& window = Start(QByteArray());
    ASSERT_EQ(window.Playback().IsPlaying(), 0);
    bool messageShown = false;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&messageShown] {
        if (qobject_cast<CMessage*>(QApplication::activeModalWidget()))
            messageShown = true;
    });
    watch.start(20);

    m_content.Hold(1);
    window.PlayChannel("Alpha", PlayMode::ByName);
    ASSERT_TRUE(window.Playback().IsBusy());

    // The desktop bus is answered within a second while the server hangs.
    QDBusMessage get =
        QDBusMessage::createMethodCall(kService, kPath, kProperties, QStringLiteral("Get"));
    get << kPlayer << QStringLiteral("PlaybackStatus");
    QDBusPendingCall status = Client().asyncCall(get, 1000);
    ASSERT_TRUE(WaitUntil([&] { return status.isFinished(); }, 3000));
    EXPECT_EQ(status.reply().type(), QDBusMessage::ReplyMessage)
        << status.reply().errorMessage().toStdString();

    // So is the tray icon: its menu opens (and is closed again).
    bool menuOpened = false;
    QTimer menuWatch;
    QObject::connect(&menuWatch, &QTimer::timeout, [&menuOpened] {
        if (QWidget* menu = QApplication::activePopupWidget()) {
            menuOpened = qobject_cast<QMenu*>(menu) != nullptr;
            menu->close();
        }
    });
    menuWatch.start(20);
    window.OnTrayClicked();
    menuWatch.stop();
    EXPECT_TRUE(menuOpened);

    // A newer choice plays while the first one still hangs ...
    window.PlayChannel("Beta", PlayMode::ByName);
    ASSERT_TRUE(WaitUntil([&] { return window.Playback().IsPlaying() == 1; }, 10000));
    EXPECT_EQ(window.Playback().SelectedChannelName(), "Beta");
    EXPECT_EQ(m_content.HeldAnswers(), 0);

    // ... and the hung answer, when it comes, plays nothing, writes nothing, shows nothing.
    m_content.Release();
    ASSERT_TRUE(WaitUntil([&] { return m_content.HeldAnswers() == 1; }, 5000));
    // Settled: the dropped answer's continuation has run (it is what ends the wait).
    ASSERT_TRUE(Settled());
    EXPECT_EQ(window.Playback().SelectedChannelName(), "Beta");
    EXPECT_EQ(window.Playback().IsPlaying(), 1);
    EXPECT_FALSE(messageShown);
    EXPECT_FALSE(m_folder.Exists(QStringLiteral("channel.dat")));
}

TEST_F(MprisTest, TwentyFiveNextCallsWithoutStreamFilesOpenOneMessageAndAreAllAnswered)
{
    CWavelark& window = Start("Beta");
    ASSERT_EQ(window.Playback().IsPlaying(), 1);
    m_content.SetStreamFilesDown(true);

    // As a held media key: a Next every 0.1 s, sent from a timer because the first failure's
    // message runs its own event loop.
    constexpr size_t kCalls = 25;
    std::vector<QDBusPendingCall> nexts;
    QTimer sender;
    QObject::connect(&sender, &QTimer::timeout, [&] {
        nexts.push_back(Client().asyncCall(
            QDBusMessage::createMethodCall(kService, kPath, kPlayer, QStringLiteral("Next")),
            5000));
        if (nexts.size() == kCalls)
            sender.stop();
    });
    const auto allAnswered = [&nexts] {
        return nexts.size() == kCalls &&
               std::all_of(nexts.begin(), nexts.end(),
                           [](const QDBusPendingCall& call) { return call.isFinished(); });
    };

    // Counts the open messages; once every call is answered, asks the bus for the status while
    // the message is still open, then closes it as the user would.
    int mostOpen = 0;
    std::optional<QDBusPendingCall> status;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        std::vector<CMessage*> open;
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            if (auto* message = qobject_cast<CMessage*>(widget); message && message->isVisible())
                open.push_back(message);
        }
        mostOpen = std::max(mostOpen, int(open.size()));
        if (open.empty() || !allAnswered())
            return;
        if (!status) {
            QDBusMessage get =
                QDBusMessage::createMethodCall(kService, kPath, kProperties, QStringLiteral("Get"));
            get << kPlayer << QStringLiteral("PlaybackStatus");
            status = Client().asyncCall(get, 1000);
        } else if (status->isFinished()) {
            for (CMessage* message : open)
                message->accept();
        }
    });
    sender.start(100);
    watch.start(20);

    ASSERT_TRUE(
        WaitUntil([&] { return allAnswered() && status && !window.Playback().IsBusy(); }, 30000));
    EXPECT_EQ(mostOpen, 1);
    for (const QDBusPendingCall& next : nexts)
        EXPECT_EQ(next.reply().type(), QDBusMessage::ReplyMessage);
    ASSERT_TRUE(status->isFinished());
    EXPECT_EQ(status->reply().type(), QDBusMessage::ReplyMessage);
    // The last choice failed: nothing plays, and the program goes on answering.
    EXPECT_EQ(window.Playback().IsPlaying(), 0);
    EXPECT_EQ(Get(kPlayer, QStringLiteral("PlaybackStatus")).toString(), QStringLiteral("Stopped"));
}

TEST_F(MprisTest, NextWithTheRadioWindowOpenMovesItsCountryListAndTreeSelection)
{
    CWavelark& window = Start("Beta");
    // This reading of the clock picks Delta, in France.
    window.SetClock([] { return ClockReading{0, 2}; });
    QString shownBefore;
    bool followed = false;
    OpenRadioWindowFromTheTray(
        window,
        [&](CStation& station) {
            const auto shown = [&station] {
                auto* countries = qobject_cast<QComboBox*>(FindControl(&station, kIdCountryList));
                const auto selected = station.ChannelTree()->selectedItems();
                return countries->currentText() + QLatin1Char('/') +
                       (selected.isEmpty() ? QString() : selected[0]->text(0));
            };
            shownBefore = shown();
            Client().asyncCall(
                QDBusMessage::createMethodCall(kService, kPath, kPlayer, QStringLiteral("Next")));
            followed = WaitUntil([&] { return shown() == QStringLiteral("France/Delta"); }, 5000);
            station.OnHide();
        },
        10000);

    EXPECT_EQ(shownBefore, QStringLiteral("Germany/Beta"));
    EXPECT_TRUE(followed);
    EXPECT_EQ(window.Playback().SelectedChannelName(), "Delta");
}
