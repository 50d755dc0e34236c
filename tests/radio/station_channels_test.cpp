// The radio window's country list and channel tree: what they list, what a click plays, how
// they follow the playing channel, the package's offer and the favourites.

#include "radio/StationFixture.h"

TEST_F(StationOddCatalogueTest, APlayingChannelWhoseCountryIsNotListedShowsTheRootAlone)
{
    // Epsilon plays from Germany; its first record, the one the window looks up, is Italy's,
    // which no entry lists. The channels without a country are not shown in its place.
    m_folder.Write(QStringLiteral("channel.dat"), "package0\nEpsilon");
    Start();
    ASSERT_EQ(m_window->Playback().SelectedChannelName(), "Epsilon");
    CStation& station = Open();
    EXPECT_EQ(station.ChannelTree()->topLevelItemCount(), 1);
    EXPECT_EQ(TreeChannels(), QStringList());
}

TEST_F(StationOddCatalogueTest, EveryItemOfThePlayingChannelsNameIsShownSelected)
{
    m_folder.Write(QStringLiteral("channel.dat"), "package0\nTwin");
    Start();
    CStation& station = Open();
    EXPECT_EQ(Control<QComboBox>(kIdCountryList)->currentText(), QStringLiteral("Germany"));
    EXPECT_EQ(TreeChannels(), (QStringList{QStringLiteral("Twin"), QStringLiteral("Twin"),
                                           QStringLiteral("Epsilon"), QStringLiteral("Alpha")}));
    QTreeWidgetItem* root = station.ChannelTree()->topLevelItem(0);
    EXPECT_TRUE(root->child(0)->isSelected());
    EXPECT_TRUE(root->child(1)->isSelected());
    EXPECT_FALSE(root->child(2)->isSelected());
    // Showing starts nothing.
    EXPECT_EQ(m_content.Requests(StreamFile(3)), 1);
    EXPECT_EQ(m_content.Requests(StreamFile(4)), 0);
}

TEST_F(StationOddCatalogueTest, AFavouriteStartsTheFirstOfferedRecordOfItsName)
{
    // Epsilon's first record (Italy, stream file 2) is not offered, its second (Germany, 5) is.
    m_folder.Write(QStringLiteral("favoutites.dat"), "Epsilon#");
    // Another channel plays from the start, so that every request for Epsilon comes of the click.
    m_folder.Write(QStringLiteral("channel.dat"), "package0\nAlpha");
    Start();
    Open();
    auto* list = Control<QComboBox>(kIdCountryList);
    const int mine = list->findText(QStringLiteral("My Channels"));
    ASSERT_GE(mine, 0);
    list->setCurrentIndex(mine);
    Q_EMIT list->activated(mine);
    ASSERT_EQ(TreeChannels(), QStringList{QStringLiteral("Epsilon")});
    QTreeWidgetItem* root = m_station->ChannelTree()->topLevelItem(0);
    EXPECT_TRUE(root->child(0)->flags() & Qt::ItemIsEnabled);

    ClickChannel(QStringLiteral("Epsilon"));
    EXPECT_EQ(m_content.Requests(StreamFile(5)), 1);
    EXPECT_EQ(m_content.Requests(StreamFile(2)), 0);
    EXPECT_EQ(m_window->Playback().SelectedChannelName(), "Epsilon");
    EXPECT_EQ(m_window->Playback().IsPlaying(), 1);
    EXPECT_EQ(File("tv.dat"), "Epsilon");
}

TEST_F(StationTest, AWindowOpenedBeforeTheAvailabilityAnswerListsCountriesWhenItComes)
{
    m_content.HoldAvailability();
    StartWithoutWaiting();
    ASSERT_TRUE(WaitUntil(
        [&] { return m_content.Requests("/Wavelark/freechannels/package0.rd") == 1; }, 5000));
    CStation& station = Open();
    // Italy offers nothing, which only the answer can tell: nothing is listed before it.
    EXPECT_EQ(Countries(), QStringList());
    EXPECT_EQ(TreeChannels(), QStringList());
    m_content.Release();
    ASSERT_TRUE(Settled());
    EXPECT_EQ(Countries(), (QStringList{QStringLiteral("France"), QStringLiteral("Germany")}));
    EXPECT_EQ(station.ChannelTree()->topLevelItem(0)->childCount(), 1);
}

TEST_F(StationTest, CountriesAndTreeShowOnlyOfferedChannels)
{
    Start();
    CStation& station = Open();
    // France is offered only through its second record, Italy not at all; sorted.
    EXPECT_EQ(Countries(), (QStringList{QStringLiteral("France"), QStringLiteral("Germany")}));
    EXPECT_EQ(station.ChannelTree()->topLevelItem(0)->text(0), QStringLiteral("Radio Channels"));
    EXPECT_EQ(TreeChannels(), QStringList{QStringLiteral("Delta")});

    // Choosing a country fills the tree with its offered channels, in catalogue order.
    auto* list = Control<QComboBox>(kIdCountryList);
    list->setCurrentIndex(1);
    Q_EMIT list->activated(1);
    EXPECT_EQ(TreeChannels(), (QStringList{QStringLiteral("Alpha"), QStringLiteral("Beta")}));
    EXPECT_EQ(station.FillChannelTree(5), 0);
    EXPECT_EQ(m_station->ChannelTree()->topLevelItemCount(), 1);
}

TEST_F(StationTest, AClickInTheTreePlaysTheChannelAndRemembersIt)
{
    Start();
    Open();
    auto* list = Control<QComboBox>(kIdCountryList);
    Q_EMIT list->activated(list->findText(QStringLiteral("Germany")));
    QSignalSpy firstAudio(m_window->Playback().Player(), &MediaPlayer::FirstAudio);
    ClickChannel(QStringLiteral("Beta"));
    EXPECT_EQ(m_window->Playback().IsPlaying(), 1);
    EXPECT_EQ(m_window->Playback().SelectedChannelName(), "Beta");
    EXPECT_GE(m_content.Requests(StreamFile(2)), 1);
    EXPECT_EQ(File("channel.dat"), "package0\nBeta");
    EXPECT_EQ(File("tv.dat"), "Beta");
    EXPECT_TRUE(firstAudio.wait(5000));
}

TEST_F(StationTest, ATreeChannelThatCannotBeFetchedStopsAndIsNotWrittenToTv)
{
    m_folder.Write(QStringLiteral("channel.dat"), "package0\nDelta");
    Start();
    ASSERT_EQ(m_window->Playback().IsPlaying(), 1);
    AnswerMessages();
    Open();
    auto* list = Control<QComboBox>(kIdCountryList);
    Q_EMIT list->activated(list->findText(QStringLiteral("Germany")));
    m_content.SetStreamFilesDown(true);
    ClickChannel(QStringLiteral("Alpha"));
    EXPECT_GE(m_messages.size(), 1u);
    EXPECT_EQ(m_window->Playback().IsPlaying(), 0);
    EXPECT_EQ(m_window->Playback().SelectedChannelName(), "Alpha");
    EXPECT_FALSE(m_folder.Exists(QStringLiteral("tv.dat")));
    // Still saved as the last channel, as any tree choice is.
    EXPECT_EQ(File("channel.dat"), "package0\nAlpha");

    m_content.SetStreamFilesDown(false);
    m_window->StopOrResume();
    ASSERT_TRUE(Settled());
    EXPECT_EQ(m_window->Playback().IsPlaying(), 1);
    EXPECT_EQ(m_window->Playback().SelectedChannelName(), "Alpha");
}

TEST_F(StationTest, OpeningShowsThePlayingChannelAndTheStoredSettings)
{
    m_folder.Write(QStringLiteral("channel.dat"), "package0\nBeta");
    // Non-stop unticked, 24 hours from 05:00: a play time that holds every moment, so the start
    // plays whatever the time.
    m_folder.Write(QStringLiteral("setting.dat"), "0\n0\n5\n23\n150");
    Start();
    CStation& station = Open();
    EXPECT_EQ(Control<QComboBox>(kIdCountryList)->currentText(), QStringLiteral("Germany"));
    const auto selected = station.ChannelTree()->selectedItems();
    ASSERT_EQ(selected.size(), 1);
    EXPECT_EQ(selected.front()->text(0), QStringLiteral("Beta"));
    // Showing the playing channel starts nothing.
    EXPECT_EQ(m_content.Requests(StreamFile(2)), 1);

    EXPECT_TRUE(Control<CRadioButton>(kIdRandomEveryStart)->IsSelected());
    EXPECT_FALSE(Control<CRadioButton>(kIdKeepSelected)->IsSelected());
    EXPECT_FALSE(Control<CCheckButton>(kIdNonStop)->IsChecked());
    EXPECT_EQ(Control<QComboBox>(kIdStartHourList)->currentIndex(), 5);
    EXPECT_EQ(Control<QComboBox>(kIdHourCountList)->currentIndex(), 23);
    EXPECT_TRUE(Control<QComboBox>(kIdHourCountList)->isEnabled());
    // Hide writes the play time back as the group shows it.
    QTest::mouseClick(Button(kIdHide), Qt::LeftButton);
    EXPECT_EQ(File("setting.dat"), "0\n0\n5\n23\n100");
    // The slider stops at 100; the player was handed what the file says at start.
    EXPECT_EQ(Control<CCoolSlider>(kIdVolumeSlider)->value(), 100);
    EXPECT_EQ(m_window->Playback().Volume(), 150);
    EXPECT_EQ(m_window->Playback().Player()->Volume(), 100);
}

TEST_F(StationTest, TheOpenWindowFollowsAChannelAndAMuteFromElsewhere)
{
    m_folder.Write(QStringLiteral("channel.dat"), "package0\nBeta");
    Start();
    CStation& station = Open();
    auto* list = Control<QComboBox>(kIdCountryList);
    ASSERT_EQ(list->currentText(), QStringLiteral("Germany"));
    const auto selectedNames = [&] {
        QStringList names;
        for (const QTreeWidgetItem* item : station.ChannelTree()->selectedItems())
            names << item->text(0);
        return names;
    };

    // As from the desktop bus or the tray: the list and the tree move, nothing else starts.
    m_window->Playback().PlayChannel("Delta", PlayMode::ByName);
    EXPECT_TRUE(WaitUntil([&] { return list->currentText() == QStringLiteral("France"); }, 2000));
    EXPECT_EQ(selectedNames(), QStringList{QStringLiteral("Delta")});
    EXPECT_EQ(m_content.Requests(StreamFile(4)), 1);

    // Within the country shown, only the selection moves.
    m_window->Playback().PlayChannel("Alpha", PlayMode::ByName);
    EXPECT_TRUE(
        WaitUntil([&] { return selectedNames() == QStringList{QStringLiteral("Alpha")}; }, 2000));
    EXPECT_EQ(list->currentText(), QStringLiteral("Germany"));

    auto* mute = Control<CCheckButton>(kIdMuteBox);
    ASSERT_FALSE(mute->IsChecked());
    m_window->ToggleMute();
    EXPECT_TRUE(mute->IsChecked());
    m_window->ToggleMute();
    EXPECT_FALSE(mute->IsChecked());
}

TEST_F(StationTest, MyChannelsListsTheFavouritesOfEarlierRunsAndPlaysThem)
{
    // An earlier run's file with a damaged tail: Gamma is not offered, Nowhere is no channel.
    m_folder.Write(QStringLiteral("favoutites.dat"), "Delta#Gamma#Alpha#Nowhere#Bet");
    Start();
    EXPECT_EQ(m_directory.FavouritesText(), "Delta#Gamma#Alpha#Nowhere#");
    CStation& station = Open();
    EXPECT_EQ(Countries(), (QStringList{QStringLiteral("France"), QStringLiteral("Germany"),
                                        QStringLiteral("My Channels")}));

    auto* list = Control<QComboBox>(kIdCountryList);
    list->setCurrentIndex(2);
    Q_EMIT list->activated(2);
    EXPECT_EQ(station.ChannelTree()->topLevelItem(0)->text(0), QStringLiteral("Radio Channels"));
    EXPECT_EQ(TreeChannels(), (QStringList{QStringLiteral("Delta"), QStringLiteral("Gamma"),
                                           QStringLiteral("Alpha"), QStringLiteral("Nowhere")}));
    QTreeWidgetItem* root = station.ChannelTree()->topLevelItem(0);
    for (const int greyed : {1, 3}) {
        EXPECT_FALSE(root->child(greyed)->flags() & Qt::ItemIsEnabled) << greyed;
        EXPECT_FALSE(root->child(greyed)->flags() & Qt::ItemIsSelectable) << greyed;
    }
    EXPECT_TRUE(root->child(0)->flags() & Qt::ItemIsEnabled);

    // The first row plays the first favourite from its own record's stream file.
    ClickChannel(QStringLiteral("Delta"));
    EXPECT_EQ(m_window->Playback().SelectedChannelName(), "Delta");
    EXPECT_GE(m_content.Requests(StreamFile(4)), 1);
    EXPECT_EQ(File("channel.dat"), "package0\nDelta");
    EXPECT_EQ(File("tv.dat"), "Delta");
    EXPECT_EQ(m_window->Playback().IsPlaying(), 1);

    // A greyed favourite starts nothing, and neither does the channel that plays: the click
    // is on a row, not on empty space.
    const int deltaFetches = m_content.Requests(StreamFile(4));
    ClickChannel(QStringLiteral("Gamma"));
    EXPECT_EQ(m_content.Requests(StreamFile(3)), 0);
    EXPECT_EQ(m_content.Requests(StreamFile(4)), deltaFetches);
    EXPECT_EQ(m_window->Playback().SelectedChannelName(), "Delta");

    // WAVELARK_RENDER_DIR=folder keeps a picture of the window to look at.
    const QString renderDir = qEnvironmentVariable("WAVELARK_RENDER_DIR");
    if (!renderDir.isEmpty())
        station.grab().save(renderDir + QStringLiteral("/radio-window-my-channels.png"));
}

TEST_F(StationTest, AddingAndRemovingFavouritesShowsAtOnceAndLastsToTheNextStart)
{
    m_folder.Write(QStringLiteral("channel.dat"), "package0\nDelta");
    Start();
    CStation& station = Open();
    EXPECT_FALSE(Countries().contains(QStringLiteral("My Channels")));
    auto* list = Control<QComboBox>(kIdCountryList);
    const auto item = [&](const QString& name) {
        const auto found =
            station.ChannelTree()->findItems(name, Qt::MatchExactly | Qt::MatchRecursive);
        return found.isEmpty() ? nullptr : found.front();
    };

    // Added under its country: the list gains "My Channels", the country stays as it is shown.
    list->setCurrentIndex(list->findText(QStringLiteral("Germany")));
    Q_EMIT list->activated(list->currentIndex());
    station.ChannelTree()->AddToMyChannels(item(QStringLiteral("Beta")));
    station.ChannelTree()->AddToMyChannels(item(QStringLiteral("Alpha")));
    EXPECT_EQ(Countries().last(), QStringLiteral("My Channels"));
    EXPECT_EQ(list->currentText(), QStringLiteral("Germany"));
    EXPECT_EQ(TreeChannels(), (QStringList{QStringLiteral("Alpha"), QStringLiteral("Beta")}));
    EXPECT_EQ(File("favoutites.dat"), "Beta#Alpha#");

    // Removed while "My Channels" is shown: the tree and the file follow at once.
    const int mine = list->findText(QStringLiteral("My Channels"));
    list->setCurrentIndex(mine);
    Q_EMIT list->activated(mine);
    EXPECT_EQ(TreeChannels(), (QStringList{QStringLiteral("Beta"), QStringLiteral("Alpha")}));
    station.ChannelTree()->RemoveFromMyChannels(item(QStringLiteral("Beta")));
    EXPECT_EQ(TreeChannels(), QStringList{QStringLiteral("Alpha")});
    EXPECT_EQ(list->currentText(), QStringLiteral("My Channels"));
    EXPECT_EQ(File("favoutites.dat"), "Alpha#");

    // The list survives the window and the program.
    m_station.reset();
    m_window.reset();
    Start();
    EXPECT_EQ(m_directory.FavouritesText(), "Alpha#");
    Open();
    list = Control<QComboBox>(kIdCountryList);
    EXPECT_EQ(Countries().last(), QStringLiteral("My Channels"));

    // The last one removed: the entry goes and the playing channel's country is shown.
    list->setCurrentIndex(list->findText(QStringLiteral("My Channels")));
    Q_EMIT list->activated(list->currentIndex());
    m_station->ChannelTree()->RemoveFromMyChannels(
        m_station->ChannelTree()
            ->findItems(QStringLiteral("Alpha"), Qt::MatchExactly | Qt::MatchRecursive)
            .front());
    EXPECT_FALSE(Countries().contains(QStringLiteral("My Channels")));
    EXPECT_EQ(list->currentText(), QStringLiteral("France"));
    EXPECT_EQ(TreeChannels(), QStringList{QStringLiteral("Delta")});
    EXPECT_EQ(File("favoutites.dat"), "");
}
