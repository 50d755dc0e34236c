#include "app/AnsiText.h"
#include "directory/ChannelDirectory.h"
#include "directory/ChannelTree.h"
#include "directory/Favourites.h"
#include "support/TempFolder.h"
#include "support/Wait.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QHelpEvent>
#include <QImage>
#include <QMenu>
#include <QPointer>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QToolTip>
#include <QVBoxLayout>
#include <functional>
#include <gtest/gtest.h>
#include <optional>
#include <vector>

namespace {

const QString kFavourites = QStringLiteral("favoutites.dat");

ChannelRecord Record(const QByteArray& name, const QByteArray& infoText, int position)
{
    ChannelRecord record;
    record.category = "Germany";
    record.name = name;
    record.infoText = infoText;
    record.position = position;
    record.available = 1;
    return record;
}

// How a test answers the context menu once it is open.
// Choose: the first command; Remove: the second; Cancel: Escape.
enum class MenuAnswer { Choose, Remove, Cancel };

// Answers the next context menu of the application from inside its own event loop, with the
// mouse on its action or with Escape. Gives up after about five seconds so that a menu that
// never opens cannot hang the test; a menu that does open is always answered.
class MenuDriver
{
public:
    explicit MenuDriver(MenuAnswer answer)
    {
        m_timer.setInterval(10);
        QObject::connect(&m_timer, &QTimer::timeout, [this, answer] {
            auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            if (!menu) {
                if (++m_polls > 500)
                    m_timer.stop();
                return;
            }
            m_timer.stop();
            m_position = menu->pos();
            for (QAction* action : menu->actions()) {
                m_shown.push_back({action->text(), action->data().toInt()});
                m_enabled.push_back(action->isEnabled());
            }
            const qsizetype index = answer == MenuAnswer::Remove ? 1 : 0;
            // A disabled command does not close the menu: such an answer is Escape too.
            if (answer == MenuAnswer::Cancel || menu->actions().size() <= index ||
                !menu->actions().at(index)->isEnabled()) {
                QTest::keyClick(menu, Qt::Key_Escape);
                return;
            }
            QAction* chosen = menu->actions().at(index);
            QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(chosen).center());
        });
        m_timer.start();
    }

    // The menu's actions as it showed them: text and command, and whether each was enabled.
    std::vector<std::pair<QString, int>> Shown() const { return m_shown; }
    std::vector<bool> Enabled() const { return m_enabled; }
    // Where the menu opened, in screen coordinates.
    QPoint Position() const { return m_position; }

private:
    QTimer m_timer;
    int m_polls = 0;
    QPoint m_position;
    std::vector<std::pair<QString, int>> m_shown;
    std::vector<bool> m_enabled;
};

// A real top-level window holding the tree with one country's channels, shown and active.
class ChannelTreeTest : public ::testing::Test
{
public:
    void SetUp() override
    {
        Catalogue catalogue;
        catalogue.RadioChannelList.records = {
            Record("Jazz Classics", "Swing and bebop around the clock", 0),
            Record("Jazz", "Jazz from Berlin", 1),
            Record("Rock Antenne", QByteArray(1500, 'r'), 2),
            Record("Caf\xE9 \x81", "Caf\xE9 info", 3),
        };
        catalogue.RadioChannelList.count = 4;
        m_directory.SetCatalogue(catalogue);

        auto* layout = new QVBoxLayout(&m_window);
        m_tree = new CMediaView(m_directory, &m_window);
        layout->addWidget(m_tree);
        m_window.resize(285, 260);
        m_tree->SetupImages();
        m_root = m_tree->AddRoot();
        for (const ChannelRecord& record : m_directory.Channels().records)
            m_items.push_back(m_tree->AddChannel(m_root, record.name));
        // A second, collapsed group, so that there is an expand button to click.
        m_more = new QTreeWidgetItem(m_tree, {QStringLiteral("More")});
        m_tree->AddChannel(m_more, "Deep Channel");
        m_more->setExpanded(false);

        QObject::connect(m_tree, &CMediaView::StartChannelRequested,
                         [this](const QByteArray& name) { m_starts.push_back(name); });
        m_window.show();
        m_window.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&m_window));
    }

    QTreeWidgetItem* Item(const QByteArray& name) const
    {
        for (QTreeWidgetItem* item : m_items)
            if (CMediaView::ItemName(item) == name)
                return item;
        return nullptr;
    }
    QPoint CentreOf(const QTreeWidgetItem* item) const
    {
        return m_tree->visualItemRect(item).center();
    }
    // The expand button sits in the indentation left of the item's own rectangle.
    QPoint ExpandButtonOf(const QTreeWidgetItem* item) const
    {
        const QRect rect = m_tree->visualItemRect(item);
        return {rect.left() - m_tree->indentation() / 2, rect.center().y()};
    }
    QPoint EmptySpace() const
    {
        const QRect last = m_tree->visualItemRect(m_more);
        return {m_tree->viewport()->width() / 2, last.bottom() + 30};
    }
    void Click(const QPoint& pos, Qt::MouseButton button = Qt::LeftButton)
    {
        QTest::mouseClick(m_tree->viewport(), button, {}, pos);
    }
    // Presses the left button at the first point, moves through the others with the button
    // held, and releases it at the last.
    void Drag(const std::vector<QPoint>& points)
    {
        QWidget* viewport = m_tree->viewport();
        QTest::mousePress(viewport, Qt::LeftButton, {}, points.front());
        for (const QPoint& point : points) {
            QMouseEvent move(QEvent::MouseMove, point, viewport->mapToGlobal(point), Qt::NoButton,
                             Qt::LeftButton, Qt::NoModifier);
            QApplication::sendEvent(viewport, &move);
        }
        QTest::mouseRelease(viewport, Qt::LeftButton, {}, points.back());
    }
    // What a real double click delivers: press, release, press, double click, release.
    void DoubleClick(const QPoint& pos)
    {
        QWidget* viewport = m_tree->viewport();
        QTest::mousePress(viewport, Qt::LeftButton, {}, pos);
        QTest::mouseRelease(viewport, Qt::LeftButton, {}, pos);
        QTest::mousePress(viewport, Qt::LeftButton, {}, pos);
        QMouseEvent doubleClick(QEvent::MouseButtonDblClick, pos, viewport->mapToGlobal(pos),
                                Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(viewport, &doubleClick);
        QTest::mouseRelease(viewport, Qt::LeftButton, {}, pos);
    }
    // Opens the context menu at `pos` and answers it; returns whether "Remove from My
    // Channels" was enabled. "Add to My Channels" must be enabled exactly when `addable`.
    bool RightClickAndAnswer(const QPoint& pos, MenuAnswer answer, bool addable = true)
    {
        MenuDriver driver(answer);
        Click(pos, Qt::RightButton);
        const auto shown = driver.Shown();
        EXPECT_EQ(shown.size(), 2u) << "the menu did not open";
        if (shown.size() != 2u)
            return false;
        EXPECT_EQ(shown[0].first, QStringLiteral("Add to My Channels"));
        EXPECT_EQ(shown[0].second, CMediaView::kCommandAddToMyChannels);
        EXPECT_EQ(driver.Enabled()[0], addable);
        EXPECT_EQ(shown[1].first, QStringLiteral("Remove from My Channels"));
        EXPECT_EQ(shown[1].second, CMediaView::kCommandRemoveFromMyChannels);
        EXPECT_EQ(driver.Position(), m_tree->viewport()->mapToGlobal(pos));
        return driver.Enabled()[1];
    }

    TempFolder m_folder;
    ChannelDirectory m_directory;
    QWidget m_window;
    CMediaView* m_tree = nullptr;
    QTreeWidgetItem* m_root = nullptr;
    QTreeWidgetItem* m_more = nullptr;
    std::vector<QTreeWidgetItem*> m_items;
    std::vector<QByteArray> m_starts;
};

using Names = std::vector<QByteArray>;

struct ClickCase
{
    const char* label;
    const char* marked; // the channel shown as selected beforehand, or nullptr
    std::function<void(ChannelTreeTest&)> act;
    Names starts;
};

TEST_F(ChannelTreeTest, UserClicksStartTheSelectedChannelAndParentsNothing)
{
    const auto key = [](Qt::Key k) {
        return [k](ChannelTreeTest& t) {
            t.m_tree->setFocus();
            QTest::keyClick(t.m_tree, k);
        };
    };
    const ClickCase cases[] = {
        // A click that changes the selection is a selection change and a click: two starts.
        {"click on an unselected channel",
         nullptr,
         [](ChannelTreeTest& t) { t.Click(t.CentreOf(t.Item("Jazz"))); },
         {"Jazz", "Jazz"}},
        {"click on the selected channel",
         "Jazz",
         [](ChannelTreeTest& t) { t.Click(t.CentreOf(t.Item("Jazz"))); },
         {"Jazz"}},
        {"click on another channel",
         "Jazz",
         [](ChannelTreeTest& t) { t.Click(t.CentreOf(t.Item("Rock Antenne"))); },
         {"Rock Antenne", "Rock Antenne"}},
        {"click on empty space restarts the selected channel",
         "Jazz Classics",
         [](ChannelTreeTest& t) { t.Click(t.EmptySpace()); },
         {"Jazz Classics"}},
        {"click on empty space with nothing selected",
         nullptr,
         [](ChannelTreeTest& t) { t.Click(t.EmptySpace()); },
         {}},
        {"click on a parent's expand button restarts the selected channel",
         "Jazz",
         [](ChannelTreeTest& t) {
             t.Click(t.ExpandButtonOf(t.m_more));
             EXPECT_TRUE(t.m_more->isExpanded());
         },
         {"Jazz"}},
        {"collapsing the selected channel's parent selects the parent and starts nothing",
         "Jazz",
         [](ChannelTreeTest& t) {
             t.Click(t.ExpandButtonOf(t.m_root));
             EXPECT_FALSE(t.m_root->isExpanded());
             EXPECT_EQ(t.m_tree->selectedItems(), QList<QTreeWidgetItem*>{t.m_root});
             // The hidden channel is no longer the one a click anywhere restarts.
             t.Click(t.EmptySpace());
             t.m_tree->expandItem(t.m_root);
         },
         {}},
        {"collapsing by keyboard leaves the channel for its parent",
         "Rock Antenne",
         [](ChannelTreeTest& t) {
             t.m_tree->setFocus();
             QTest::keyClick(t.m_tree, Qt::Key_Left);
             QTest::keyClick(t.m_tree, Qt::Key_Left);
             EXPECT_FALSE(t.m_root->isExpanded());
             EXPECT_EQ(t.m_tree->selectedItems(), QList<QTreeWidgetItem*>{t.m_root});
             t.m_tree->expandItem(t.m_root);
         },
         {}},
        {"collapsing another parent keeps the selected channel",
         "Jazz",
         [](ChannelTreeTest& t) {
             t.m_tree->expandItem(t.m_more);
             t.Click(t.ExpandButtonOf(t.m_more));
             EXPECT_FALSE(t.m_more->isExpanded());
             EXPECT_TRUE(t.Item("Jazz")->isSelected());
         },
         {"Jazz"}},
        {"a channel with an empty name starts nothing, also when clicked again",
         "Jazz",
         [](ChannelTreeTest& t) {
             std::unique_ptr<QTreeWidgetItem> nameless(t.m_tree->AddChannel(t.m_root, ""));
             t.Click(t.CentreOf(nameless.get()));
             EXPECT_TRUE(nameless->isSelected());
             t.Click(t.EmptySpace());
         },
         {}},
        {"click on the parent item",
         "Jazz",
         [](ChannelTreeTest& t) { t.Click(t.CentreOf(t.m_root)); },
         {}},
        {"click on the other parent",
         nullptr,
         [](ChannelTreeTest& t) { t.Click(t.CentreOf(t.m_more)); },
         {}},
        {"keyboard up onto the parent", "Jazz Classics", key(Qt::Key_Up), {}},
        {"keyboard down onto a channel", "Jazz Classics", key(Qt::Key_Down), {"Jazz"}},
        {"keyboard home onto the parent", "Jazz", key(Qt::Key_Home), {}},
        {"a double click starts for its first click only",
         nullptr,
         [](ChannelTreeTest& t) { t.DoubleClick(t.CentreOf(t.Item("Jazz"))); },
         {"Jazz", "Jazz"}},
        {"a double click on a parent expands it and starts nothing",
         "Jazz",
         [](ChannelTreeTest& t) {
             t.DoubleClick(t.CentreOf(t.m_more));
             EXPECT_TRUE(t.m_more->isExpanded());
         },
         {}},
        {"a drag across the channels selects and starts nothing",
         "Jazz",
         [](ChannelTreeTest& t) {
             t.Drag({t.CentreOf(t.Item("Jazz Classics")), t.CentreOf(t.Item("Jazz")),
                     t.CentreOf(t.Item("Rock Antenne"))});
             EXPECT_TRUE(t.Item("Jazz")->isSelected());
             EXPECT_FALSE(t.Item("Rock Antenne")->isSelected());
         },
         {}},
        {"a drag that comes back to where it began is still a drag",
         nullptr,
         [](ChannelTreeTest& t) {
             const QPoint jazz = t.CentreOf(t.Item("Jazz"));
             t.Drag({jazz, t.CentreOf(t.Item("Rock Antenne")), jazz});
         },
         {}},
        {"a tremble shorter than a drag is a click",
         nullptr,
         [](ChannelTreeTest& t) {
             const QPoint jazz = t.CentreOf(t.Item("Jazz"));
             t.Drag({jazz, jazz + QPoint(1, 0)});
         },
         {"Jazz", "Jazz"}},
        {"a right click neither selects nor starts",
         "Jazz",
         [](ChannelTreeTest& t) {
             MenuDriver driver(MenuAnswer::Cancel);
             t.Click(t.CentreOf(t.Item("Rock Antenne")), Qt::RightButton);
             EXPECT_TRUE(t.Item("Jazz")->isSelected());
         },
         {}},
    };
    for (const ClickCase& c : cases) {
        SCOPED_TRACE(c.label);
        m_tree->clearSelection();
        m_tree->collapseItem(m_more);
        if (c.marked)
            m_tree->MarkSelected(Item(c.marked));
        m_starts.clear();
        c.act(*this);
        EXPECT_EQ(m_starts, c.starts);
    }
}

TEST_F(ChannelTreeTest, MarkingAnItemSelectedStartsNothing)
{
    QTreeWidgetItem* jazz = Item("Jazz");
    m_tree->MarkSelected(jazz);
    m_tree->MarkSelected(Item("Rock Antenne"));
    m_tree->MarkSelected(jazz);
    EXPECT_TRUE(m_starts.empty());
    EXPECT_EQ(m_tree->selectedItems(), QList<QTreeWidgetItem*>{jazz});
    EXPECT_EQ(m_tree->currentItem(), jazz);

    // Neither does any other selection the program makes itself.
    m_tree->setCurrentItem(Item("Jazz Classics"));
    m_tree->clear();
    EXPECT_TRUE(m_starts.empty());
}

TEST_F(ChannelTreeTest, NothingStartsWhileNoWindowIsActive)
{
    QApplication::setActiveWindow(nullptr);
    ASSERT_EQ(QApplication::activeWindow(), nullptr);
    Click(CentreOf(Item("Jazz")));
    Click(EmptySpace());
    EXPECT_TRUE(Item("Jazz")->isSelected()); // the click itself still selects
    if (QApplication::activeWindow() == nullptr) {
        EXPECT_TRUE(m_starts.empty());
    } else {
        GTEST_SKIP() << "this platform activates a window on a click";
    }
}

TEST_F(ChannelTreeTest, ContextMenuAddsTheChannelUnderThePointerToMyChannels)
{
    struct Step
    {
        const char* target; // a channel, "root" or "empty"
        MenuAnswer answer;
        QByteArray favourites; // FavouritesText afterwards
    };
    const struct
    {
        const char* label;
        std::vector<Step> steps;
        QByteArray file; // "favoutites.dat" at the end; null when it must not exist
    } cases[] = {
        {"one channel", {{"Jazz", MenuAnswer::Choose, "Jazz#"}}, "Jazz#"},
        {"two channels in order",
         {{"Rock Antenne", MenuAnswer::Choose, "Rock Antenne#"},
          {"Jazz", MenuAnswer::Choose, "Rock Antenne#Jazz#"}},
         "Rock Antenne#Jazz#"},
        {"the same channel twice",
         {{"Jazz", MenuAnswer::Choose, "Jazz#"}, {"Jazz", MenuAnswer::Choose, "Jazz#"}},
         "Jazz#"},
        {"a name inside a favourite's longer name is a name of its own",
         {{"Jazz Classics", MenuAnswer::Choose, "Jazz Classics#"},
          {"Jazz", MenuAnswer::Choose, "Jazz Classics#Jazz#"},
          {"Jazz", MenuAnswer::Choose, "Jazz Classics#Jazz#"}},
         "Jazz Classics#Jazz#"},
        {"the shorter name first, then the longer",
         {{"Jazz", MenuAnswer::Choose, "Jazz#"},
          {"Jazz Classics", MenuAnswer::Choose, "Jazz#Jazz Classics#"}},
         "Jazz#Jazz Classics#"},
        {"catalogue bytes are kept",
         {{"Caf\xE9 \x81", MenuAnswer::Choose, "Caf\xE9 \x81#"}},
         "Caf\xE9 \x81#"},
        {"a parent item", {{"root", MenuAnswer::Choose, ""}}, QByteArray()},
        {"outside any item the menu opens and does nothing",
         {{"empty", MenuAnswer::Choose, ""}},
         QByteArray()},
        {"the menu cancelled", {{"Jazz", MenuAnswer::Cancel, ""}}, QByteArray()},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        TempFolder folder;
        m_directory.ReadFavouritesFile(); // none in the fresh folder
        for (const Step& step : c.steps) {
            const QByteArray target(step.target);
            const QPoint pos = target == "root"    ? CentreOf(m_root)
                               : target == "empty" ? EmptySpace()
                                                   : CentreOf(Item(target));
            m_starts.clear();
            RightClickAndAnswer(pos, step.answer);
            EXPECT_EQ(m_directory.FavouritesText(), step.favourites);
            EXPECT_TRUE(m_starts.empty());
        }
        EXPECT_EQ(folder.Read(kFavourites), c.file);
        // Written whole under its own name: no temporary file is left beside it.
        const QStringList files = QDir(folder.Path()).entryList(QDir::Files | QDir::Hidden);
        EXPECT_EQ(files, c.file.isNull() ? QStringList() : QStringList{kFavourites});
    }
}

TEST_F(ChannelTreeTest, FavouritesOfAnEarlierRunAreKeptAndAddedTo)
{
    m_folder.Write(kFavourites, "Old One#Old Two#a damaged tail");
    m_directory.ReadFavouritesFile();
    RightClickAndAnswer(CentreOf(Item("Jazz")), MenuAnswer::Choose);
    EXPECT_EQ(m_folder.Read(kFavourites), QByteArrayLiteral("Old One#Old Two#Jazz#"));
}

TEST_F(ChannelTreeTest, RemoveFromMyChannelsIsEnabledOnAFavouriteOnly)
{
    m_folder.Write(kFavourites, "Jazz Classics#Rock Antenne#");
    m_directory.ReadFavouritesFile();
    QSignalSpy changed(&m_directory, &ChannelDirectory::FavouritesChanged);
    // Jazz is only a part of a favourite's name; the root and empty space are no channels.
    EXPECT_FALSE(RightClickAndAnswer(CentreOf(Item("Jazz")), MenuAnswer::Remove));
    EXPECT_FALSE(RightClickAndAnswer(CentreOf(m_root), MenuAnswer::Remove));
    EXPECT_FALSE(RightClickAndAnswer(EmptySpace(), MenuAnswer::Remove));
    EXPECT_EQ(m_directory.FavouritesText(), "Jazz Classics#Rock Antenne#");
    EXPECT_EQ(m_folder.Read(kFavourites), "Jazz Classics#Rock Antenne#");
    EXPECT_EQ(changed.count(), 0);

    EXPECT_TRUE(RightClickAndAnswer(CentreOf(Item("Jazz Classics")), MenuAnswer::Remove));
    EXPECT_EQ(m_directory.FavouritesText(), "Rock Antenne#");
    EXPECT_EQ(m_folder.Read(kFavourites), "Rock Antenne#");
    EXPECT_EQ(changed.count(), 1);
    EXPECT_TRUE(m_starts.empty());

    // Added back from the same menu, at the end.
    EXPECT_FALSE(RightClickAndAnswer(CentreOf(Item("Jazz Classics")), MenuAnswer::Choose));
    EXPECT_EQ(m_folder.Read(kFavourites), "Rock Antenne#Jazz Classics#");
    EXPECT_EQ(changed.count(), 2);
}

TEST_F(ChannelTreeTest, AddToMyChannelsIsGreyedForANameTheFileCannotHold)
{
    // "#" ends an entry of the favourites file, so such a name can never be a favourite.
    QTreeWidgetItem* hashed = m_tree->AddChannel(m_root, "Radio #1");
    QSignalSpy changed(&m_directory, &ChannelDirectory::FavouritesChanged);
    RightClickAndAnswer(CentreOf(hashed), MenuAnswer::Choose, false);
    EXPECT_EQ(m_directory.FavouritesText(), "");
    EXPECT_FALSE(m_folder.Exists(kFavourites));
    EXPECT_EQ(changed.count(), 0);
    // Every other channel, the root and empty space keep it enabled.
    RightClickAndAnswer(CentreOf(Item("Jazz")), MenuAnswer::Cancel, true);
    RightClickAndAnswer(CentreOf(m_root), MenuAnswer::Cancel, true);
}

TEST_F(ChannelTreeTest, AClickOnAGreyedRowStartsNothing)
{
    // A favourite the catalogue no longer offers, below the playing channel.
    QTreeWidgetItem* greyed = m_tree->AddChannel(m_root, "Gone", false);
    m_tree->MarkSelected(Item("Jazz"));
    Click(CentreOf(greyed));
    EXPECT_TRUE(m_starts.empty());
    EXPECT_EQ(CMediaView::ItemName(m_tree->currentItem()), "Jazz");
    // Empty space still restarts the selected channel.
    Click(EmptySpace());
    EXPECT_EQ(m_starts, Names{"Jazz"});
}

TEST(ChannelTreeInfoTip, IsTheInfoTextCutToTheBuffer)
{
    ChannelList list;
    list.records = {Record("Jazz", "Jazz from Berlin", 0), Record("Long", QByteArray(1500, 'x'), 1),
                    Record("Long", "second record of the same name", 2)};
    list.count = 3;
    const struct
    {
        const char* name;
        int buffer;
        QByteArray tip;
    } cases[] = {
        {"Jazz", CMediaView::kInfoTipBufferLength, "Jazz from Berlin"},
        {"Jazz", 17, "Jazz from Berlin"}, // exactly fits with its zero
        {"Jazz", 16, "Jazz from Berli"},
        {"Jazz", 1, ""},
        {"Jazz", 0, ""},
        {"Long", CMediaView::kInfoTipBufferLength, QByteArray(1023, 'x')},
        {"Jaz", CMediaView::kInfoTipBufferLength, ""}, // no channel of that name
        {"", CMediaView::kInfoTipBufferLength, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.name << " " << c.buffer);
        EXPECT_EQ(CMediaView::InfoTip(list, c.name, c.buffer), c.tip);
    }
}

TEST_F(ChannelTreeTest, ToolTipShowsTheChannelsInfoTextOnly)
{
    const auto ask = [this](const QTreeWidgetItem* item) {
        const QPoint pos = CentreOf(item);
        QHelpEvent event(QEvent::ToolTip, pos, m_tree->viewport()->mapToGlobal(pos));
        QApplication::sendEvent(m_tree->viewport(), &event);
    };
    const auto shownTip = [] { return QToolTip::isVisible() ? QToolTip::text() : QString(); };
    ask(Item("Jazz"));
    EXPECT_EQ(shownTip(), QStringLiteral("Jazz from Berlin"));
    ask(Item("Rock Antenne"));
    EXPECT_EQ(shownTip(), QString(1023, QLatin1Char('r')));
    ask(Item("Caf\xE9 \x81"));
    EXPECT_EQ(shownTip(), QStringLiteral("Café info"));
    // An item that names no channel has no tip: the one shown goes away.
    ask(m_root);
    EXPECT_TRUE(WaitUntil([] { return !QToolTip::isVisible(); }, 2000));
    ask(m_root);
    EXPECT_FALSE(QToolTip::isVisible());
}

TEST_F(ChannelTreeTest, ItemsKeepTheirCatalogueBytes)
{
    QTreeWidgetItem* cafe = Item("Caf\xE9 \x81");
    ASSERT_NE(cafe, nullptr);
    EXPECT_EQ(cafe->text(0), QStringLiteral("Café ") + QChar(0xFFFD));
    EXPECT_EQ(CMediaView::ItemName(cafe), QByteArrayLiteral("Caf\xE9 \x81"));
    EXPECT_EQ(CMediaView::ItemName(m_root), QByteArrayLiteral("Radio Channels"));
    EXPECT_EQ(m_root->text(0), QStringLiteral("Radio Channels"));
    EXPECT_EQ(CMediaView::ItemName(m_more), QByteArrayLiteral("More"));
    EXPECT_EQ(CMediaView::ItemName(nullptr), QByteArray());
    // Text set later counts, not bytes kept from before.
    cafe->setText(0, QStringLiteral("Caf\u00E9 neu"));
    EXPECT_EQ(CMediaView::ItemName(cafe), QByteArrayLiteral("Caf\xE9 neu"));

    // Layout: the root at the top level with the channels under it in order, root expanded.
    EXPECT_EQ(m_tree->topLevelItem(0), m_root);
    EXPECT_TRUE(m_root->isExpanded());
    ASSERT_EQ(m_root->childCount(), 4);
    EXPECT_EQ(CMediaView::ItemName(m_root->child(1)), QByteArrayLiteral("Jazz"));
    EXPECT_TRUE(m_root->icon(0).isNull());
    EXPECT_TRUE(m_tree->isHeaderHidden());
    EXPECT_TRUE(m_tree->rootIsDecorated());
}

// The first pixel position at which `picture` appears unchanged inside `area` of `image`.
std::optional<QPoint> FindPicture(const QImage& image, const QImage& picture, const QRect& area)
{
    for (int y = area.top(); y + picture.height() <= area.bottom() + 1; ++y) {
        for (int x = area.left(); x + picture.width() <= area.right() + 1; ++x) {
            bool same = true;
            for (int py = 0; same && py < picture.height(); ++py)
                for (int px = 0; same && px < picture.width(); ++px)
                    same = image.pixel(x + px, y + py) == picture.pixel(px, py);
            if (same)
                return QPoint(x, y);
        }
    }
    return std::nullopt;
}

TEST_F(ChannelTreeTest, PicturesAndColours)
{
    const auto& pictures = m_tree->Pictures();
    const QColor grey(0x70, 0x70, 0x70);
    const QImage speaker = pictures[0].toImage().convertToFormat(QImage::Format_RGB32);
    const QImage waves = pictures[1].toImage().convertToFormat(QImage::Format_RGB32);
    for (const QImage& picture : {speaker, waves}) {
        EXPECT_EQ(picture.size(), QSize(11, 12));
        EXPECT_EQ(QColor(picture.pixel(5, 1)), grey); // the cone's tip
        EXPECT_EQ(QColor(picture.pixel(0, 5)), grey); // the magnet's outline
        EXPECT_EQ(QColor(picture.pixel(0, 0)), Qt::white);
    }
    // Only picture 1 has sound waves, in the columns the list keeps.
    EXPECT_EQ(QColor(speaker.pixel(10, 5)), Qt::white);
    EXPECT_EQ(QColor(waves.pixel(10, 5)), grey);
    EXPECT_EQ(QColor(waves.pixel(7, 4)), grey);
    const QIcon icon = m_tree->ChannelIcon();
    EXPECT_EQ(
        icon.pixmap(QSize(11, 12), QIcon::Normal).toImage().convertToFormat(QImage::Format_RGB32),
        speaker);
    EXPECT_EQ(
        icon.pixmap(QSize(11, 12), QIcon::Selected).toImage().convertToFormat(QImage::Format_RGB32),
        waves);

    QTreeWidgetItem* jazz = Item("Jazz");
    m_tree->MarkSelected(jazz);
    const QImage image = m_tree->viewport()->grab().toImage().convertToFormat(QImage::Format_RGB32);
    // For a look by eye: WAVELARK_RENDER_DIR=folder gets the tree and both pictures as PNGs.
    if (const QByteArray dir = qgetenv("WAVELARK_RENDER_DIR"); !dir.isEmpty()) {
        const QDir out(QString::fromLocal8Bit(dir));
        m_tree->grab().save(out.filePath(QStringLiteral("channel_tree.png")));
        pictures[0].save(out.filePath(QStringLiteral("picture0.png")));
        pictures[1].save(out.filePath(QStringLiteral("picture1.png")));
    }

    for (QTreeWidgetItem* item : m_items) {
        SCOPED_TRACE(CMediaView::ItemName(item).constData());
        const QRect row = m_tree->visualItemRect(item);
        const bool selected = item == jazz;
        EXPECT_EQ(FindPicture(image, waves, row).has_value(), selected);
        EXPECT_EQ(FindPicture(image, speaker, row).has_value(), !selected);
        // Black text on white, the selected row alike: white after the text, dark text pixels.
        EXPECT_EQ(QColor(image.pixel(row.right() - 2, row.center().y())), Qt::white);
        int darkest = 255;
        for (int x = row.left(); x < row.right(); ++x)
            for (int y = row.top(); y <= row.bottom(); ++y)
                darkest = std::min(darkest, qGray(image.pixel(x, y)));
        EXPECT_LT(darkest, 60);
    }
}

} // namespace
