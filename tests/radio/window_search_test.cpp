#include "directory/ChannelTree.h"
#include "radio/RadioFixture.h"
#include "radio/Station.h"
#include "radio/StationIds.h"
#include "radio/WindowSearch.h"
#include "ui/DialogUnits.h"
#include "ui/KeyFilter.h"
#include "ui/SearchField.h"

#include <QComboBox>
#include <QDir>
#include <QPushButton>
#include <QTest>

namespace {

// A catalogue as the station import writes it (UTF-8, tool tips with format, tags and
// homepage). Rock Chile Hits is not offered.
const QByteArray kSearchCatalogue =
    "\xEF\xBB\xBF"
    "8\n"
    "Chile\nMP3 128 kbit/s | rock, pop | https://rockfm.example.cl/\n1\nRock FM Santiago\n"
    "Chile\nAAC+ 64 kbit/s | jazz\n2\nJazz Café\n"
    "Argentina\nMP3 | rock\n3\nRock Nacional\n"
    "Chile\nrock, classic rock\n4\nRadio Clásica\n"
    "Chile\nnews\n5\nNoticias Chile\n"
    "USA\njazz, smooth jazz\n6\nSmooth Waves\n"
    "Chile\nrock\n7\nRock Chile Hits\n"
    "Germany\njazz\n8\nJazzwelle\n";

class WindowSearchTest : public RadioTest
{
protected:
    WindowSearchTest() : RadioTest(kSearchCatalogue, "11111101") {}

    void SetUp() override
    {
        RadioTest::SetUp();
        // As the program runs: the dialogs swallow Escape.
        qApp->installEventFilter(&m_keyFilter);
    }

    void TearDown() override
    {
        m_station.reset();
        qApp->removeEventFilter(&m_keyFilter);
        RadioTest::TearDown();
    }

    CStation& Open()
    {
        const StationContext context{m_directory,
                                     m_skin,
                                     *m_server,
                                     m_window->Playback(),
                                     QSize(1280, 1024),
                                     3.0f,
                                     QByteArrayLiteral("3.0")};
        m_station = std::make_unique<CStation>(context);
        m_station->OnInitDialog();
        m_station->show();
        m_station->activateWindow();
        QApplication::setActiveWindow(m_station.get());
        return *m_station;
    }

    QComboBox* Countries() const
    {
        return qobject_cast<QComboBox*>(FindControl(m_station.get(), kIdCountryList));
    }
    CSearchField* Field() const
    {
        return qobject_cast<CSearchField*>(
            FindControl(m_station.get(), WindowSearch::kIdSearchField));
    }
    QStringList TreeChannels() const
    {
        QStringList names;
        QTreeWidgetItem* root = m_station->ChannelTree()->topLevelItem(0);
        for (int i = 0; root && i < root->childCount(); ++i)
            names << root->child(i)->text(0);
        return names;
    }
    QString Shown() const { return Countries()->currentText(); }
    int PlayRequests()
    {
        int requests = 0;
        for (int n = 1; n <= 8; ++n)
            requests += m_content.Requests(StreamFile(n));
        return requests;
    }
    // Saves the window as a picture where WAVELARK_TEST_PICTURES names a folder.
    void Picture(const QString& name) const
    {
        const QString folder = qEnvironmentVariable("WAVELARK_TEST_PICTURES");
        if (!folder.isEmpty() && QDir().mkpath(folder))
            m_station->grab().save(folder + QLatin1Char('/') + name + QStringLiteral(".png"));
    }

    KeyFilter m_keyFilter;
    std::unique_ptr<CStation> m_station;
};

TEST_F(WindowSearchTest, TheFieldLiesBesideSelectChannelAndMovesNothing)
{
    Start();
    CStation& station = Open();
    CSearchField* field = Field();
    ASSERT_NE(field, nullptr);
    EXPECT_EQ(field->placeholderText(), QStringLiteral("Search"));
    EXPECT_TRUE(field->text().isEmpty());
    // The country list's left edge and width, below it, above the tree, right of the label.
    const QRect list = Countries()->geometry();
    const QRect label = FindControl(&station, kIdChannelLabel)->geometry();
    const QRect tree = station.ChannelTree()->geometry();
    EXPECT_EQ(field->x(), list.x());
    EXPECT_EQ(field->width(), list.width());
    EXPECT_GE(field->y(), list.bottom());
    EXPECT_LT(field->geometry().bottom(), tree.y());
    EXPECT_GT(field->x(), label.right());
    EXPECT_LT(field->y(), label.bottom());
    EXPECT_GT(field->geometry().bottom(), label.y());
    // No results entry while nothing is searched.
    EXPECT_EQ(Countries()->findText(QStringLiteral("Search results")), -1);
    Picture(QStringLiteral("window-search-empty"));
}

TEST_F(WindowSearchTest, TypingInTheWindowSearchesAndEscapeShowsTheCountryAgain)
{
    m_folder.Write(QStringLiteral("channel.dat"), "package0\nNoticias Chile");
    Start();
    CStation& station = Open();
    ASSERT_EQ(Shown(), QStringLiteral("Chile"));
    const int requestsBefore = PlayRequests();

    // Letters typed while the tree has the focus go into the field.
    station.ChannelTree()->setFocus();
    QTest::keyClicks(station.ChannelTree(), QStringLiteral("jaz"));
    EXPECT_EQ(Field()->text(), QStringLiteral("jaz"));
    EXPECT_TRUE(Field()->hasFocus());
    EXPECT_EQ(Shown(), QStringLiteral("Search results"));
    EXPECT_EQ(Countries()->count() - 1, Countries()->currentIndex());
    EXPECT_EQ(station.ChannelTree()->topLevelItem(0)->text(0), QStringLiteral("Radio Channels"));
    EXPECT_EQ(TreeChannels(), (QStringList{QStringLiteral("Jazz Café"), QStringLiteral("Jazzwelle"),
                                           QStringLiteral("Smooth Waves")}));

    // Escape in the field empties it and shows the country shown before; nothing started.
    QTest::keyClick(Field(), Qt::Key_Escape);
    EXPECT_TRUE(Field()->text().isEmpty());
    EXPECT_EQ(Shown(), QStringLiteral("Chile"));
    EXPECT_EQ(Countries()->findText(QStringLiteral("Search results")), -1);
    EXPECT_EQ(TreeChannels(),
              (QStringList{QStringLiteral("Rock FM Santiago"), QStringLiteral("Jazz Café"),
                           QStringLiteral("Radio Clásica"), QStringLiteral("Noticias Chile")}));
    EXPECT_TRUE(station.isVisible());
    EXPECT_EQ(PlayRequests(), requestsBefore);

    // Ctrl+F moves into the field; words in two fields narrow the results (AND), best first.
    station.ChannelTree()->setFocus();
    QTest::keyClick(station.ChannelTree(), Qt::Key_F, Qt::ControlModifier);
    ASSERT_TRUE(Field()->hasFocus());
    QTest::keyClicks(Field(), QStringLiteral("rock chile"));
    EXPECT_EQ(TreeChannels(),
              (QStringList{QStringLiteral("Rock FM Santiago"), QStringLiteral("Radio Clásica")}));
    Picture(QStringLiteral("window-search-results"));

    // Escape outside the field is still swallowed: the window stays, the search too.
    station.ChannelTree()->setFocus();
    QTest::keyClick(station.ChannelTree(), Qt::Key_Escape);
    EXPECT_TRUE(station.isVisible());
    EXPECT_EQ(Shown(), QStringLiteral("Search results"));
}

TEST_F(WindowSearchTest, EnterPlaysTheSelectedResultAsATreeClickDoes)
{
    m_folder.Write(QStringLiteral("channel.dat"), "package0\nNoticias Chile");
    Start();
    CStation& station = Open();
    Field()->setFocus();
    QTest::keyClicks(Field(), QStringLiteral("rock chile"));
    ASSERT_EQ(TreeChannels().size(), 2);

    // Down moves into the results and selects the first without starting it.
    QTest::keyClick(Field(), Qt::Key_Down);
    EXPECT_TRUE(station.ChannelTree()->hasFocus());
    ASSERT_EQ(station.ChannelTree()->selectedItems().size(), 1);
    EXPECT_EQ(station.ChannelTree()->selectedItems().front()->text(0),
              QStringLiteral("Rock FM Santiago"));
    EXPECT_EQ(m_window->Playback().SelectedChannelName(), "Noticias Chile");

    // Enter in the results plays the selected one, stored as the last channel; the window
    // stays open (no default button pressed) and keeps showing the results.
    QTest::keyClick(station.ChannelTree(), Qt::Key_Return);
    EXPECT_TRUE(Settled());
    EXPECT_EQ(m_window->Playback().SelectedChannelName(), "Rock FM Santiago");
    EXPECT_EQ(m_window->Playback().IsPlaying(), 1);
    EXPECT_GE(m_content.Requests(StreamFile(1)), 1);
    EXPECT_EQ(m_folder.Read(QStringLiteral("channel.dat")), "package0\nRock FM Santiago");
    EXPECT_TRUE(station.isVisible());
    EXPECT_EQ(Shown(), QStringLiteral("Search results"));

    // Enter in the field plays the result selected there; with none selected, the first.
    Field()->setFocus();
    QTest::keyClick(Field(), Qt::Key_Backspace);
    QTest::keyClicks(Field(), QStringLiteral("e"));
    station.ChannelTree()->clearSelection();
    QTest::keyClicks(Field(), QStringLiteral(" clas"));
    ASSERT_EQ(TreeChannels(), QStringList{QStringLiteral("Radio Clásica")});
    QTest::keyClick(Field(), Qt::Key_Enter);
    EXPECT_TRUE(Settled());
    EXPECT_EQ(m_window->Playback().SelectedChannelName(), "Radio Clásica");
    EXPECT_EQ(m_folder.Read(QStringLiteral("channel.dat")), "package0\nRadio Clásica");
    EXPECT_TRUE(station.isVisible());
}

TEST_F(WindowSearchTest, TheResultsEntrySurvivesTheCountryListBeingFilledAgain)
{
    Start();
    CStation& station = Open();
    Field()->setFocus();
    QTest::keyClicks(Field(), QStringLiteral("jazz"));
    // Another country chosen while the field holds a query: the entry stays to come back to.
    const int usa = Countries()->findText(QStringLiteral("USA"));
    Countries()->setCurrentIndex(usa);
    Q_EMIT Countries()->activated(usa);
    EXPECT_EQ(TreeChannels(), QStringList{QStringLiteral("Smooth Waves")});
    station.ShowCountriesAndPlayingChannel();
    const int results = Countries()->findText(QStringLiteral("Search results"));
    ASSERT_EQ(results, Countries()->count() - 1);
    Countries()->setCurrentIndex(results);
    Q_EMIT Countries()->activated(results);
    EXPECT_EQ(TreeChannels(), (QStringList{QStringLiteral("Jazz Café"), QStringLiteral("Jazzwelle"),
                                           QStringLiteral("Smooth Waves")}));
    // A query that finds nothing shows the root alone.
    QTest::keyClicks(Field(), QStringLiteral(" zzz"));
    EXPECT_EQ(station.ChannelTree()->topLevelItemCount(), 1);
    EXPECT_TRUE(TreeChannels().isEmpty());
}

} // namespace
