// The radio window: settings, Hide and Exit, volume and mute, the version notice, its size and
// its pages.

#include "radio/StationFixture.h"

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
        {"random", kIdRandomEveryStart, "package0\nBeta", "0\n1\n0\n0\n30", "package0\nrandom\n"},
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
    auto silent = std::make_unique<fetchtest::SilentServer>();
    ASSERT_GT(silent->Port(), 0);
    m_server = std::make_unique<ContentServer>(
        "http://127.0.0.1:" + QByteArray::number(silent->Port()) + "/", "3.0");
    Open();
    QSignalSpy checked(m_station.get(), &CStation::VersionChecked);
    // The window is up while the server still holds the question: it did not wait for it.
    ASSERT_TRUE(WaitUntil([&] { return silent->Accepted() > 0; }, 5000));
    EXPECT_TRUE(m_station->isVisible());
    EXPECT_EQ(checked.count(), 0);
    EXPECT_TRUE(Button(kIdDownload)->isHidden());
    // Closed before the answer: the late answer reaches nothing. The server drops the
    // connection, the fetch ends with an error, and its worker is waited for.
    m_station.reset();
    silent.reset();
    EXPECT_TRUE(QThreadPool::globalInstance()->waitForDone(30000));
    QCoreApplication::processEvents();
}

TEST_F(StationTest, TheWindowHasItsTemplateSizeAndCentresOnTheScreen)
{
    Start();
    CStation& station = Open();
    // 318 x 434 dialog units (the template's 230 and the play time's column) are 477 x 705
    // pixels, rounded up to even numbers.
    EXPECT_EQ(station.SavedClientRect(), QRect(0, 0, 478, 706));
    EXPECT_EQ(station.size(), QSize(478, 706));
    EXPECT_EQ(station.pos(), QPoint((1280 - 478) / 2, (1024 - 706) / 2));
    EXPECT_EQ(station.ChannelTree()->geometry(), QRect(30, 85, 285, 102));
    EXPECT_TRUE(FindControl(&station, kIdSizingStrip)->isHidden());
    // The play time's group is shown in its column, right of every template control.
    const QRect playtime = FindControl(&station, kIdPlaytimeFrame)->geometry();
    EXPECT_EQ(playtime.left(), 344);
    for (const int id : {kIdNonStop, kIdStartTimeLabel, kIdStartHourList, kIdHoursLabel,
                         kIdHourCountList}) {
        const QWidget* control = FindControl(&station, id);
        EXPECT_FALSE(control->isHidden()) << id;
        EXPECT_TRUE(playtime.contains(control->geometry())) << id;
    }
    for (const int id : {kIdSelectionFrame, kIdChannelSelectionFrame, kIdControlsFrame,
                         kIdButtonFrame, kIdTitle})
        EXPECT_LT(FindControl(&station, id)->geometry().right(), playtime.left()) << id;

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
    EXPECT_EQ(station.geometry(), QRect((1280 - 478) / 2, (1024 - 706) / 2, 478, 706));
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
    EXPECT_EQ(browser->geometry(), QRect(478, strip.y() + 4, 1270 - 478, strip.height() - 2));
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
