#include "hosted/StreamRecorder.h"
#include "radio/RadioFixture.h"
#include "radio/TitleKeeping.h"
#include "radio/TrayIcon.h"
#include "radio/Wavelark.h"
#include "support/Wait.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QMenu>
#include <QRegularExpression>
#include <QScopeGuard>
#include <gtest/gtest.h>

namespace {

QStringList Texts(const QMenu& menu)
{
    QStringList texts;
    for (const QAction* action : menu.actions())
        texts << (action->isSeparator() ? QStringLiteral("--") : action->text());
    return texts;
}

const QString kDash = QStringLiteral(" \u2014 ");

} // namespace

class TitleKeepingTest : public RadioTest
{
};

TEST_F(TitleKeepingTest, TitlesHeardGoToTheHistoryAndTheRecentTitlesMenu)
{
    m_content.SetStream(1, m_content.IcyUrl());
    m_content.SetIcyTitle("Artist & Band - Song");
    // One title of an earlier run, and a damaged end that is never trusted.
    m_folder.Write(QStringLiteral("history.txt"),
                   "2026-12-10 22:00:00\tBeta\tYesterday's Song\n2026-12-10 22:0");
    m_folder.Write(QStringLiteral("channel.dat"), "package0\nAlpha");
    CWavelark& window = Start();
    TitleKeeping& titles = window.Titles();

    EXPECT_TRUE(WaitUntil([&] { return titles.History().Entries().size() == 2; }, 10000));
    const QList<QByteArray> lines = m_folder.Read(QStringLiteral("history.txt")).split('\n');
    ASSERT_EQ(lines.size(), 3) << m_folder.Read(QStringLiteral("history.txt")).constData();
    EXPECT_EQ(lines[0], "2026-12-10 22:00:00\tBeta\tYesterday's Song");
    EXPECT_TRUE(
        QRegularExpression(QStringLiteral("^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\tAlpha\\t"
                                          "Artist & Band - Song$"))
            .match(QString::fromUtf8(lines[1]))
            .hasMatch())
        << lines[1].constData();
    EXPECT_EQ(lines[2], "");

    // The served stream ends after a few seconds and is fetched again, with the next title.
    m_content.SetIcyTitle("Artist - Second Song");
    EXPECT_TRUE(WaitUntil([&] { return titles.History().Entries().size() == 3; }, 20000));
    const QList<QByteArray> later = m_folder.Read(QStringLiteral("history.txt")).split('\n');
    ASSERT_EQ(later.size(), 4);
    EXPECT_EQ(later[1], lines[1]);
    EXPECT_TRUE(later[2].endsWith("\tAlpha\tArtist - Second Song")) << later[2].constData();

    QMenu menu;
    titles.AddMenuItems(menu);
    EXPECT_EQ(Texts(menu),
              (QStringList{QStringLiteral("--"), QStringLiteral("Record"), QStringLiteral("--"),
                           QStringLiteral("Recent titles"), QStringLiteral("--"),
                           QStringLiteral("Title notifications"), QStringLiteral("--")}));
    QMenu* recent = menu.actions().at(3)->menu();
    ASSERT_NE(recent, nullptr);
    // Newest first; "&" shown as it is, not as a shortcut mark.
    EXPECT_EQ(
        Texts(*recent),
        (QStringList{QStringLiteral("Artist - Second Song") + kDash + QStringLiteral("Alpha"),
                     QStringLiteral("Artist && Band - Song") + kDash + QStringLiteral("Alpha"),
                     QStringLiteral("Yesterday's Song") + kDash + QStringLiteral("Beta")}));
    recent->actions().at(1)->trigger();
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("Artist & Band - Song"));

    // A new title reaches a menu that is kept (as a status-notifier host keeps it).
    titles.History().Add(QStringLiteral("Alpha"), QStringLiteral("Next Song"));
    EXPECT_EQ(recent->actions().size(), 4);
    EXPECT_EQ(recent->actions().at(0)->text(),
              QStringLiteral("Next Song") + kDash + QStringLiteral("Alpha"));
}

TEST_F(TitleKeepingTest, EmptyHistoryShowsOneGreyedItemAndKeepsTenAtMost)
{
    CWavelark& window = Start();
    QMenu menu;
    window.Titles().AddMenuItems(menu);
    QMenu* recent = menu.actions().at(3)->menu();
    ASSERT_NE(recent, nullptr);
    ASSERT_EQ(Texts(*recent), QStringList{QStringLiteral("No titles yet")});
    EXPECT_FALSE(recent->actions().at(0)->isEnabled());

    for (int i = 1; i <= 12; ++i)
        window.Titles().History().Add(QStringLiteral("Beta"), QStringLiteral("Song %1").arg(i));
    const QStringList shown = Texts(*recent);
    ASSERT_EQ(shown.size(), TitleKeeping::kRecentCount);
    EXPECT_EQ(shown.first(), QStringLiteral("Song 12") + kDash + QStringLiteral("Beta"));
    EXPECT_EQ(shown.last(), QStringLiteral("Song 3") + kDash + QStringLiteral("Beta"));
}

TEST_F(TitleKeepingTest, TitleNotificationsAreOffByDefaultAndKeptInTheOptionsFile)
{
    {
        CWavelark& window = Start();
        QMenu menu;
        window.Titles().AddMenuItems(menu);
        QAction* item = menu.actions().at(5);
        ASSERT_EQ(item->text(), QStringLiteral("Title notifications"));
        EXPECT_TRUE(item->isCheckable());
        EXPECT_FALSE(item->isChecked());
        item->trigger();
        EXPECT_TRUE(window.Titles().TitleNotifications());
        EXPECT_TRUE(
            m_folder.Read(QStringLiteral("wavelark.ini")).contains("TitleNotifications=true"));
        m_window.reset();
    }
    CWavelark& again = Start();
    EXPECT_TRUE(again.Titles().TitleNotifications());
    // "setting.dat" keeps its five lines.
    EXPECT_EQ(m_folder.Read(QStringLiteral("setting.dat")).count('\n'), 4);
}

TEST_F(TitleKeepingTest, TrayMenuShowsRecordingAndRecentTitles)
{
    m_content.SetStream(1, m_content.IcyUrl());
    m_content.SetIcyTitle("Artist - First Song");
    // The music folder as a desktop names it.
    m_folder.Write(QStringLiteral("config/user-dirs.dirs"),
                   "XDG_MUSIC_DIR=\"" + m_folder.FilePath(QStringLiteral("Music")).toUtf8() +
                       "\"\n");
    qputenv("XDG_CONFIG_HOME", m_folder.FilePath(QStringLiteral("config")).toUtf8());
    const auto restore = qScopeGuard([] { qunsetenv("XDG_CONFIG_HOME"); });
    m_folder.Write(QStringLiteral("channel.dat"), "package0\nAlpha");
    CWavelark& window = Start();
    TitleKeeping& titles = window.Titles();
    ASSERT_TRUE(WaitUntil([&] { return titles.History().Entries().size() == 1; }, 10000));
    titles.History().Add(QStringLiteral("Beta"), QStringLiteral("Someone - Another Song"));

    // Ticked while playing: the tool tip's last line and the icon tell it.
    const QImage plain = window.Tray()->Icon().icon().pixmap(QSize(32, 32)).toImage();
    titles.SetRecording(true);
    EXPECT_TRUE(titles.IsRecording());
    EXPECT_TRUE(window.Tray()->Icon().toolTip().endsWith(QStringLiteral("\nRecording")))
        << window.Tray()->Icon().toolTip().toStdString();
    const QImage dotted = window.Tray()->Icon().icon().pixmap(QSize(32, 32)).toImage();
    EXPECT_NE(plain, dotted);
    EXPECT_EQ(QColor(dotted.pixel(25, 25)), QColor(220, 0, 0));

    QStringList shown;
    QImage menuPicture;
    QImage submenuPicture;
    QTimer::singleShot(200, [&] {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        if (!menu)
            return;
        for (QAction* action : menu->actions()) {
            shown << (action->isSeparator() ? QStringLiteral("--") : action->text());
            if (action->isCheckable() && action->isChecked())
                shown.last() += QStringLiteral(" [x]");
        }
        QAction* recent = menu->actions().at(6);
        menu->setActiveAction(recent);
        recent->menu()->popup(menu->mapToGlobal(menu->actionGeometry(recent).topRight()));
        menuPicture = menu->grab().toImage();
        submenuPicture = recent->menu()->grab().toImage();
        recent->menu()->close();
        menu->close();
    });
    Q_EMIT window.Tray()->Clicked();
    ASSERT_TRUE(WaitUntil([&] { return !shown.isEmpty(); }, 5000));
    EXPECT_EQ(shown, (QStringList{QStringLiteral("Open"), QStringLiteral("Random Channel"),
                                  QStringLiteral("Stop/Resume"), QStringLiteral("--"),
                                  QStringLiteral("Record [x]"), QStringLiteral("--"),
                                  QStringLiteral("Sleep timer"), QStringLiteral("Recent titles"),
                                  QStringLiteral("--"), QStringLiteral("Title notifications"),
                                  QStringLiteral("Even loudness [x]"), QStringLiteral("--"),
                                  QStringLiteral("About us"), QStringLiteral("Exit")}));
    ASSERT_FALSE(menuPicture.isNull());
    ASSERT_FALSE(submenuPicture.isNull());

    // WAVELARK_RENDER_DIR=folder keeps pictures of the menu and its submenu to look at.
    const QString renderDir = qEnvironmentVariable("WAVELARK_RENDER_DIR");
    if (!renderDir.isEmpty()) {
        menuPicture.save(renderDir + QStringLiteral("/tray-menu.png"));
        submenuPicture.save(renderDir + QStringLiteral("/tray-menu-recent-titles.png"));
        dotted.save(renderDir + QStringLiteral("/tray-icon-recording.png"));
    }

    QTest::qWait(1000);
    // Stop ends the recording; the file holds the stream's bytes under the channel's folder.
    window.StopOrResume();
    EXPECT_FALSE(titles.IsRecording());
    EXPECT_FALSE(window.Tray()->Icon().toolTip().contains(QStringLiteral("Recording")));
    titles.Recorder()->Flush();
    const QStringList files =
        QDir(m_folder.FilePath(QStringLiteral("Music/Wavelark/Alpha"))).entryList(QDir::Files);
    // A reconnect of the short test stream may have begun a second file.
    ASSERT_GE(files.size(), 1);
    EXPECT_TRUE(files[0].endsWith(QStringLiteral(" - Artist - First Song.mp3")))
        << files[0].toStdString();
}

TEST_F(TitleKeepingTest, AFolderThatCannotBeWrittenEndsTheRecordingWithOneMessage)
{
    m_content.SetStream(1, m_content.IcyUrl());
    m_content.SetIcyTitle("Artist - Song");
    // The music folder lies below a plain file: no folder can be made there, even by root.
    m_folder.Write(QStringLiteral("not-a-folder"), "x");
    m_folder.Write(QStringLiteral("config/user-dirs.dirs"),
                   "XDG_MUSIC_DIR=\"" +
                       m_folder.FilePath(QStringLiteral("not-a-folder/Music")).toUtf8() + "\"\n");
    qputenv("XDG_CONFIG_HOME", m_folder.FilePath(QStringLiteral("config")).toUtf8());
    const auto restore = qScopeGuard([] { qunsetenv("XDG_CONFIG_HOME"); });
    m_folder.Write(QStringLiteral("channel.dat"), "package0\nAlpha");
    CWavelark& window = Start();
    AnswerMessages();
    TitleKeeping& titles = window.Titles();
    ASSERT_EQ(window.Playback().IsPlaying(), 1);

    titles.SetRecording(true);
    EXPECT_TRUE(WaitUntil([&] { return !m_messages.empty(); }, 10000));
    EXPECT_TRUE(WaitUntil([&] { return !titles.IsRecording(); }, 5000));
    // More stream bytes and titles come; the recording stays ended and says nothing more.
    QTest::qWait(1500);
    ASSERT_EQ(m_messages.size(), 1u);
    EXPECT_EQ(m_messages[0], QByteArray(TitleKeeping::kRecordingFailedMessage));
    EXPECT_EQ(window.Playback().IsPlaying(), 1);
    EXPECT_FALSE(window.Tray()->Icon().toolTip().contains(QStringLiteral("Recording")));
}
