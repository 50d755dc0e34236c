#pragma once

// The radio window against a real content server and a real player: the fixture of the
// window's suites (station_test.cpp, station_channels_test.cpp).

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
#include <QFile>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QThreadPool>

// Alpha and Beta in Germany, Gamma (not offered) and Delta in France, Epsilon (not offered)
// alone in Italy.
inline const QByteArray kStationCatalogue = "5\r\n"
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
inline const QByteArray kOddCatalogue = "6\r\n"
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
