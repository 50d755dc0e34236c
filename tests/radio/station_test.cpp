#include "directory/ChannelTree.h"
#include "directory/HttpFetch.h"
#include "directory/fetch_test_support.h"
#include "hosted/MediaPlayer.h"
#include "hosted/web/Explorer.h"
#include "hosted/web/WebPageEngineLoader.h"
#include "radio/RadioFixture.h"
#include "radio/Station.h"
#include "radio/StationIds.h"
#include "radio/TrayIcon.h"
#include "support/AddressSanitizer.h"
#include "support/Wait.h"
#include "ui/CheckButton.h"
#include "ui/CoolSlider.h"
#include "ui/RadioButton.h"

#include <QComboBox>
#include <QElapsedTimer>
#include <QFile>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

namespace {

// Alpha and Beta in Germany, Gamma (not offered) and Delta in France, Epsilon (not offered)
// alone in Italy.
const QByteArray kStationCatalogue = "5\r\n"
                                     "Germany\r\nNews from the north\r\n11\r\nAlpha\r\n"
                                     "Germany\r\nThe second\r\n12\r\nBeta\r\n"
                                     "France\r\nNot offered\r\n13\r\nGamma\r\n"
                                     "France\r\nThe last\r\n14\r\nDelta\r\n"
                                     "Italy\r\nNothing here\r\n15\r\nEpsilon\r\n";

class StationTest : public RadioTest
{
protected:
    explicit StationTest(QByteArray catalogue = kStationCatalogue,
                         std::string availability = "11010")
        : RadioTest(std::move(catalogue), std::move(availability))
    {
    }

    void TearDown() override
    {
        m_station.reset();
        RadioTest::TearDown();
    }

    CStation& Open(WebPageEngineLoader* webEngine = nullptr)
    {
        m_station.reset();
        const StationContext context{m_directory,
                                     m_skin,
                                     *m_server,
                                     m_window->Playback(),
                                     QSize(1280, 1024),
                                     3.0f,
                                     QByteArrayLiteral("3.0"),
                                     webEngine};
        m_station = std::make_unique<CStation>(context);
        m_station->OnInitDialog();
        m_station->show();
        m_station->activateWindow();
        QApplication::setActiveWindow(m_station.get());
        return *m_station;
    }

    template <typename T> T* Control(int id)
    {
        return qobject_cast<T*>(FindControl(m_station.get(), id));
    }
    QPushButton* Button(int id) { return Control<QPushButton>(id); }
    QStringList Countries()
    {
        QStringList items;
        auto* list = Control<QComboBox>(kIdCountryList);
        for (int i = 0; i < list->count(); ++i)
            items << list->itemText(i);
        return items;
    }
    QStringList TreeChannels()
    {
        QStringList names;
        QTreeWidgetItem* root = m_station->ChannelTree()->topLevelItem(0);
        for (int i = 0; root && i < root->childCount(); ++i)
            names << root->child(i)->text(0);
        return names;
    }
    void ClickChannel(const QString& name)
    {
        CMediaView* tree = m_station->ChannelTree();
        const auto found = tree->findItems(name, Qt::MatchExactly | Qt::MatchRecursive);
        ASSERT_EQ(found.size(), 1);
        const QRect place = tree->visualItemRect(found.front());
        QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, place.center());
        EXPECT_TRUE(Settled());
    }
    QByteArray File(const char* name) { return m_folder.Read(QString::fromLatin1(name)); }

    void OpenFromTheTray(const std::function<void(CStation&)>& act)
    {
        OpenRadioWindowFromTheTray(*m_window, act);
    }

    std::unique_ptr<CStation> m_station;
};

// A channel without a country (Zeta), a name in two countries whose first record is not
// offered (Epsilon), and one name twice in one country (Twin).
const QByteArray kOddCatalogue = "6\r\n"
                                 "\r\nNo country\r\n11\r\nZeta\r\n"
                                 "Italy\r\nNot offered\r\n12\r\nEpsilon\r\n"
                                 "Germany\r\nFirst\r\n13\r\nTwin\r\n"
                                 "Germany\r\nSecond\r\n14\r\nTwin\r\n"
                                 "Germany\r\nThird\r\n15\r\nEpsilon\r\n"
                                 "Germany\r\nFourth\r\n16\r\nAlpha\r\n";

class StationOddCatalogueTest : public StationTest
{
protected:
    StationOddCatalogueTest() : StationTest(kOddCatalogue, "101111") {}
};

} // namespace

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
    m_folder.Write(QStringLiteral("setting.dat"), "0\n0\n5\n7\n150");
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
    // Non-stop, the start hour and the hours have no control: Hide writes them back as read.
    QTest::mouseClick(Button(kIdHide), Qt::LeftButton);
    EXPECT_EQ(File("setting.dat"), "0\n0\n5\n7\n100");
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

TEST_F(StationTest, HideStoresTheSettingsAndTheStartUpChoice)
{
    const struct
    {
        const char* label;
        int option;
        const char* before; // "channel.dat" at the start
        const char* settings;
        const char* channel;
    } cases[] = {
        {"keep", kIdKeepSelected, "package0\nBeta", "1\n1\n0\n0\n30", "package0\nBeta"},
        {"random", kIdRandomEveryStart, "package0\nBeta", "0\n1\n0\n0\n30",
         "package0\nrandom\n"},
        // Saved under a package that sorts after the current one: the start picks at random
        // (Beta at this clock), and Keep leaves the user's own file alone.
        {"keep under another package", kIdKeepSelected, "package3\nX", "1\n1\n0\n0\n30",
         "package3\nX"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        m_folder.Write(QStringLiteral("channel.dat"), c.before);
        m_folder.Write(QStringLiteral("setting.dat"), "1\n1\n0\n0\n50");
        Start();
        Open();
        QTest::mouseClick(Control<QWidget>(c.option), Qt::LeftButton);
        Control<CCoolSlider>(kIdVolumeSlider)->setValue(30);
        EXPECT_EQ(m_window->Playback().Player()->Volume(), 30);
        QTest::mouseClick(Button(kIdHide), Qt::LeftButton);
        EXPECT_FALSE(m_station->isVisible());
        EXPECT_EQ(m_station->result(), QDialog::Accepted);
        EXPECT_EQ(File("setting.dat"), c.settings);
        EXPECT_EQ(File("channel.dat"), c.channel);
        // Playback goes on, and Stop/Resume still acts on the channel that plays.
        EXPECT_EQ(m_window->Playback().IsPlaying(), 1);
        EXPECT_EQ(m_window->Playback().SelectedChannelName(), "Beta");
        m_station.reset();
        m_window.reset();
    }
}

TEST_F(StationTest, KeepChosenAfterARandomHideKeepsTheSelectedChannelForTheNextStart)
{
    m_folder.Write(QStringLiteral("channel.dat"), "package0\nBeta");
    Start();
    Open();
    QTest::mouseClick(Control<QWidget>(kIdRandomEveryStart), Qt::LeftButton);
    QTest::mouseClick(Button(kIdHide), Qt::LeftButton);
    ASSERT_EQ(File("channel.dat"), "package0\nrandom\n");

    // Keep chosen, no channel chosen: the next start plays what is selected now.
    Open();
    QTest::mouseClick(Control<QWidget>(kIdKeepSelected), Qt::LeftButton);
    QTest::mouseClick(Button(kIdHide), Qt::LeftButton);
    EXPECT_EQ(File("channel.dat"), "package0\nBeta\n");
    m_station.reset();
    m_window.reset();
    Start([] { return ClockReading{0, 999}; });
    EXPECT_EQ(m_window->Playback().SelectedChannelName(), "Beta");
}

TEST_F(StationTest, HideNeverWritesThroughALinkInTheWorkingFolder)
{
    // Not a TempFolder: that would become the working folder.
    QTemporaryDir elsewhere;
    const QString precious = elsewhere.filePath(QStringLiteral("precious"));
    {
        QFile file(precious);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("not yours\n");
    }
    for (const char* name : {"setting.dat", "channel.dat"})
        ASSERT_TRUE(QFile::link(precious, m_folder.FilePath(QString::fromLatin1(name))));
    Start();
    Open();
    QTest::mouseClick(Control<QWidget>(kIdRandomEveryStart), Qt::LeftButton);
    QTest::mouseClick(Button(kIdHide), Qt::LeftButton);
    QFile file(precious);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), "not yours\n");
    EXPECT_EQ(File("channel.dat"), "package0\nrandom\n");
    EXPECT_TRUE(File("setting.dat").startsWith("0\n"));
}

TEST_F(StationTest, ExitDoesNotStoreTheVolumeAndEndsTheProgram)
{
    Start();
    QSignalSpy quit(m_window.get(), &CWavelark::QuitRequested);
    OpenFromTheTray([](CStation& station) {
        auto* slider = qobject_cast<QSlider*>(FindControl(&station, kIdVolumeSlider));
        slider->setValue(80);
        QTest::mouseClick(qobject_cast<QPushButton*>(FindControl(&station, kIdExit)),
                          Qt::LeftButton);
    });
    EXPECT_EQ(m_window->Playback().Player()->Volume(), 80);
    EXPECT_TRUE(WaitUntil([&] { return quit.count() == 1; }, 2000));
    EXPECT_FALSE(m_window->Tray()->Icon().isVisible());
    EXPECT_EQ(File("setting.dat"), "1\n1\n0\n0\n50");
}

TEST_F(StationTest, MuteBoxAndVolumeSliderDriveThePlayer)
{
    m_folder.Write(QStringLiteral("channel.dat"), "package0\nBeta");
    Start();
    Open();
    auto* mute = Control<CCheckButton>(kIdMuteBox);
    // Each click turns tick and player together.
    for (int click = 1; click <= 4; ++click) {
        SCOPED_TRACE(click);
        QTest::mouseClick(mute, Qt::LeftButton);
        EXPECT_EQ(mute->IsChecked(), click % 2 == 1);
        EXPECT_EQ(m_window->Playback().IsMuted(), click % 2);
        EXPECT_EQ(m_window->Playback().Player()->Muted(), click % 2 == 1);
    }
    QTest::mouseClick(mute, Qt::LeftButton);
    EXPECT_TRUE(mute->IsChecked());
    EXPECT_EQ(m_window->Playback().IsMuted(), 1);
    EXPECT_TRUE(m_window->Playback().Player()->Muted());

    // Moving the volume while muted clears the tick and lets the sound through again.
    auto* slider = Control<CCoolSlider>(kIdVolumeSlider);
    slider->setFocus();
    QTest::keyClick(slider, Qt::Key_PageUp);
    EXPECT_EQ(slider->value(), 60);
    EXPECT_EQ(m_window->Playback().Player()->Volume(), 60);
    EXPECT_FALSE(mute->IsChecked());
    EXPECT_EQ(m_window->Playback().IsMuted(), 0);
    EXPECT_FALSE(m_window->Playback().Player()->Muted());

    // A scroll at the end stop moves nothing, and still clears the tick and the mute.
    QTest::keyClick(slider, Qt::Key_End);
    QTest::mouseClick(mute, Qt::LeftButton);
    ASSERT_TRUE(m_window->Playback().Player()->Muted());
    QTest::keyClick(slider, Qt::Key_Right);
    EXPECT_EQ(slider->value(), 100);
    EXPECT_FALSE(mute->IsChecked());
    EXPECT_EQ(m_window->Playback().IsMuted(), 0);
    EXPECT_FALSE(m_window->Playback().Player()->Muted());

    // A volume set elsewhere, as from the desktop bus, moves the slider without unmuting.
    QTest::mouseClick(mute, Qt::LeftButton);
    m_window->Playback().SetVolume(20);
    EXPECT_EQ(slider->value(), 20);
    EXPECT_TRUE(mute->IsChecked());
    EXPECT_TRUE(m_window->Playback().Player()->Muted());
    QTest::mouseClick(mute, Qt::LeftButton);

    // A window opened while the player is muted shows the tick and the player's volume, not
    // the file's; showing it is not a move of the slider, so tick and mute stay.
    m_window->ToggleMute();
    m_folder.Write(QStringLiteral("setting.dat"), "1\n1\n0\n0\n30");
    Open();
    EXPECT_TRUE(Control<CCheckButton>(kIdMuteBox)->IsChecked());
    EXPECT_TRUE(m_window->Playback().Player()->Muted());
    EXPECT_EQ(Control<CCoolSlider>(kIdVolumeSlider)->value(), 20);
    EXPECT_EQ(m_window->Playback().Player()->Volume(), 20);
    QTest::mouseClick(Control<CCheckButton>(kIdMuteBox), Qt::LeftButton);
    EXPECT_FALSE(m_window->Playback().Player()->Muted());
}

TEST_F(StationTest, RandomChannelButtonPlaysSavesAndShowsTheChannel)
{
    // Second 0: ((0 ^ 3) + 1234) % 5 = 2, Gamma, not offered; second 1: ((1 ^ 3) + 1234) % 5
    // = 1, Beta.
    Start([] { return ClockReading{0, 0}; });
    CStation& station = Open();
    QTest::mouseClick(Button(kIdRandomChannel), Qt::LeftButton);
    ASSERT_TRUE(Settled());
    EXPECT_EQ(m_window->Playback().IsPlaying(), 1);
    EXPECT_EQ(m_window->Playback().SelectedChannelName(), "Beta");
    EXPECT_EQ(File("channel.dat"), "package0\nBeta\n");
    EXPECT_EQ(Control<QComboBox>(kIdCountryList)->currentText(), QStringLiteral("Germany"));
    const auto selected = station.ChannelTree()->selectedItems();
    ASSERT_EQ(selected.size(), 1);
    EXPECT_EQ(selected.front()->text(0), QStringLiteral("Beta"));
}

TEST_F(StationTest, TheDownloadButtonFollowsTheVersionFile)
{
    const struct
    {
        const char* file;
        const char* caption; // nullptr: hidden
    } cases[] = {
        {"3.10\r\n", "Download version 3.10 now..."},
        {"3.0\r\n", nullptr},
        {"3.25\n", "Download version 3.20 now..."},
        {"3.25 newest\r\n", "Download version 3.20 now..."},
        {"3.25", "Download version 3.20 now..."},
        {"", nullptr},
        {"not a number\r\n", nullptr},
    };
    Start();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        m_content.SetVersionFile(c.file);
        Open();
        QSignalSpy checked(m_station.get(), &CStation::VersionChecked);
        ASSERT_TRUE(checked.wait(5000));
        QPushButton* download = Button(kIdDownload);
        EXPECT_EQ(!download->isHidden(), c.caption != nullptr);
        if (c.caption) {
            EXPECT_EQ(download->text(), QString::fromLatin1(c.caption));
        }
    }
}

TEST_F(StationTest, AnUnreachableVersionFileHidesTheButtonWithoutAMessage)
{
    Start();
    AnswerMessages();
    m_server = std::make_unique<ContentServer>(QByteArray("http://127.0.0.1:9/"), "3.0");
    Open();
    QSignalSpy checked(m_station.get(), &CStation::VersionChecked);
    ASSERT_TRUE(checked.wait(5000));
    EXPECT_TRUE(Button(kIdDownload)->isHidden());
    EXPECT_TRUE(m_messages.empty());
}

TEST_F(StationTest, TheWindowOpensAtOnceWhileTheVersionFileHangs)
{
    Start();
    // A server that takes the connection and never answers.
    fetchtest::SilentServer silent;
    ASSERT_GT(silent.Port(), 0);
    m_server = std::make_unique<ContentServer>(
        "http://127.0.0.1:" + QByteArray::number(silent.Port()) + "/", "3.0");
    QElapsedTimer opening;
    opening.start();
    Open();
    EXPECT_LT(opening.elapsed(), 1000) << "the window waited for the version file";
    EXPECT_TRUE(Button(kIdDownload)->isHidden());
    // Closed before the answer: the late answer reaches nothing.
    m_station.reset();
    QTest::qWait(kVersionFetchSettings.attemptTimeoutMs + 500);
}

TEST_F(StationTest, TheWindowHasItsTemplateSizeAndCentresOnTheScreen)
{
    Start();
    CStation& station = Open();
    // 230 x 434 dialog units are 345 x 705 pixels, rounded up to even numbers.
    EXPECT_EQ(station.SavedClientRect(), QRect(0, 0, 346, 706));
    EXPECT_EQ(station.size(), QSize(346, 706));
    EXPECT_EQ(station.pos(), QPoint((1280 - 346) / 2, (1024 - 706) / 2));
    EXPECT_EQ(station.ChannelTree()->geometry(), QRect(30, 85, 285, 102));
    EXPECT_TRUE(FindControl(&station, kIdSizingStrip)->isHidden());

    // The logo is a picture on the body: pressing on it drags the window (offscreen, where
    // the window system has no move of its own, the window follows the mouse).
    QWidget* logo = FindControl(&station, kIdLogo);
    const QPoint onLogo = logo->mapTo(station.Client(), logo->rect().center());
    const QPoint before = station.pos();
    QTest::mousePress(station.Client(), Qt::LeftButton, {}, onLogo);
    QTest::mouseMove(station.Client(), onLogo + QPoint(30, 20));
    QTest::mouseRelease(station.Client(), Qt::LeftButton, {}, onLogo + QPoint(30, 20));
    EXPECT_EQ(station.pos(), before + QPoint(30, 20));

    // WAVELARK_RENDER_DIR=folder keeps a picture of the window to look at.
    const QString renderDir = qEnvironmentVariable("WAVELARK_RENDER_DIR");
    if (!renderDir.isEmpty())
        station.grab().save(renderDir + QStringLiteral("/radio-window.png"));
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

TEST_F(StationTest, OpenFromTheTrayRunsTheWindowUntilHide)
{
    Start();
    QPointer<QWidget> seen;
    bool wasOpen = false;
    OpenFromTheTray([&](CStation& station) {
        seen = m_window->OpenRadioWindow();
        wasOpen = seen == &station && station.isVisible();
        // Another "Open" or a tray click while the window is open opens nothing more.
        m_window->RunTrayCommand(CWavelark::kCommandOpen);
        m_window->OnTrayDoubleClicked();
        QTest::mouseClick(qobject_cast<QPushButton*>(FindControl(&station, kIdHide)),
                          Qt::LeftButton);
    });
    EXPECT_TRUE(wasOpen);
    EXPECT_EQ(m_window->OpenRadioWindow(), nullptr);
    // The window was destroyed when it closed.
    EXPECT_TRUE(seen.isNull());
    EXPECT_EQ(File("setting.dat"), "1\n1\n0\n0\n50");
}

TEST_F(StationTest, APageWidensTheWindowAndCloseBrowserRestoresIt)
{
    Start();
    // An engine that cannot be had: the window still widens and the button still restores it.
    WebPageEngineLoader noEngine(WebPageEngineLoader::Kind::Plugin,
                                 m_folder.FilePath(QStringLiteral("no-such-plugin.so")));
    CStation& station = Open(&noEngine);
    QPushButton* hide = Button(kIdHide);
    auto* title = Control<QWidget>(kIdTitle);
    const QRect titleBefore = title->geometry();

    QTest::mouseClick(Button(kIdWebsite), Qt::LeftButton);
    EXPECT_EQ(station.geometry(), QRect(0, (1024 - 706) / 2, 1280, 706));
    EXPECT_EQ(station.BrowserShown(), 1);
    EXPECT_EQ(hide->text(), QStringLiteral("Close Browser"));
    EXPECT_EQ(station.WebBrowser(), nullptr);
    // Without a page the title keeps its place.
    EXPECT_EQ(title->geometry(), titleBefore);

    QTest::mouseClick(hide, Qt::LeftButton);
    EXPECT_EQ(station.BrowserShown(), 0);
    EXPECT_EQ(hide->text(), QStringLiteral("Hide"));
    EXPECT_EQ(station.geometry(), QRect((1280 - 346) / 2, (1024 - 706) / 2, 346, 706));
    EXPECT_TRUE(station.isVisible()) << "Close Browser must not close the window";
    // Closing the page is not Hide: nothing is saved.
    EXPECT_EQ(File("setting.dat"), "1\n1\n0\n0\n50");
}

TEST_F(StationTest, EachPageButtonOpensItsPageInTheWidenedWindow)
{
#ifdef WAVELARK_ASAN
    GTEST_SKIP() << "Qt WebEngine cannot run in an AddressSanitizer build";
#endif
    Start();
    const std::unique_ptr<WebPageEngineLoader> engine = WebPageEngineLoader::ForThisDisplay();
    CStation& station = Open(engine.get());
    QTest::mouseClick(Button(kIdHelp), Qt::LeftButton);
    CExplorer* browser = station.WebBrowser();
    ASSERT_NE(browser, nullptr) << "the web engine could not be started";
    EXPECT_EQ(FindControl(&station, kIdWebBrowser), browser);
    // From the normal area's right edge to 10 pixels before the screen's, along the strip.
    const QRect strip = FindControl(&station, kIdSizingStrip)->geometry();
    EXPECT_EQ(browser->geometry(), QRect(346, strip.y() + 4, 1270 - 346, strip.height() - 2));
    // The title is centred over the widened window.
    auto* title = Control<QWidget>(kIdTitle);
    EXPECT_EQ(title->x(), (station.Client()->width() - title->width()) / 2);
    EXPECT_EQ(title->y(), 5);
    EXPECT_TRUE(WaitUntil([&] { return m_content.Requests("/wavelark/support.php") == 1; }, 30000));

    // The view is made once and reused; every other page button reaches its own page.
    const struct
    {
        int button;
        const char* path;
    } pages[] = {{kIdUpgrade, "/wavelark/color.php"},
                 {kIdShopping, "/wavelark/shopping.php"},
                 {kIdContact, "/wavelark/contact.php"},
                 {kIdWebsite, "/wavelark/index.php"},
                 {kIdWatchTv, "/wavelark/watchtv.php"}};
    for (const auto& page : pages) {
        SCOPED_TRACE(page.path);
        QTest::mouseClick(Button(page.button), Qt::LeftButton);
        EXPECT_EQ(station.WebBrowser(), browser);
        EXPECT_TRUE(WaitUntil([&] { return m_content.Requests(page.path) == 1; }, 30000));
    }
}
