// "My Channels" as a file: what an earlier run wrote is read back, whole entries only, and a
// removal writes the rest.

#include "directory/ChannelDirectory.h"
#include "directory/Favourites.h"

#include <QSignalSpy>
#include "support/TempFolder.h"

#include <gtest/gtest.h>

namespace {

const QString kFile = QStringLiteral("favoutites.dat");

} // namespace

TEST(Favourites, ReadingKeepsTheWholeEntriesOfAnEarlierRun)
{
    const struct
    {
        const char* label;
        QByteArray file;
        QByteArray text; // FavouritesText read back
    } cases[] = {
        {"as written", "Savanna Beats#Rift Radio#", "Savanna Beats#Rift Radio#"},
        {"no final #: the tail is damaged", "Savanna Beats#Rift Ra", "Savanna Beats#"},
        {"empty", "", ""},
        {"only a separator", "#", ""},
        {"empty entries", "##A##B#", "A#B#"},
        {"a repeat", "A#B#A#", "A#B#"},
        {"NUL bytes", QByteArray("A#B\0C#D#\0\0", 10), "A#D#"},
        {"a line end is no part of a name", "A#B\r\n#C\n", "A#"},
        {"bytes above 127 round-trip", "Caf\xE9#\xD0\x9C\xD0\xB8\xD1\x80#",
         "Caf\xE9#\xD0\x9C\xD0\xB8\xD1\x80#"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        TempFolder folder;
        folder.Write(kFile, c.file);
        EXPECT_EQ(ReadFavourites(), c.text);
    }
}

TEST(Favourites, AMissingOrHugeFileReadsBoundedAndNeverFails)
{
    TempFolder folder;
    EXPECT_EQ(ReadFavourites(), QByteArray());

    // 64 KiB of junk without a separator, then a huge file: only whole entries within the
    // bound come back.
    QByteArray junk(64 * 1024, '\x7f');
    for (int i = 0; i < junk.size(); i += 7)
        junk[i] = i % 256 == '#' ? '\0' : char(i % 256);
    folder.Write(kFile, junk);
    EXPECT_EQ(ReadFavourites(), QByteArray());

    QByteArray huge = "First#";
    huge += QByteArray(kMaxFavouritesFileBytes, 'x');
    huge += "#Late#";
    folder.Write(kFile, huge);
    EXPECT_EQ(ReadFavourites(), "First#");
}

TEST(Favourites, WholeNamesCountNotPartsOfThem)
{
    const QByteArray text = "Savanna Beats#Rift Radio#";
    EXPECT_TRUE(IsFavourite(text, "Savanna Beats"));
    EXPECT_TRUE(IsFavourite(text, "Rift Radio"));
    for (const char* name : {"Beats", "Savanna", "Radio", "Rift Radio#", "", "s#R"})
        EXPECT_FALSE(IsFavourite(text, name)) << name;
}

TEST(Favourites, RemovingRewritesTheFileWithoutTheEntry)
{
    TempFolder folder;
    folder.Write(kFile, "Savanna Beats#Beats#Rift Radio#");
    ChannelDirectory directory;
    directory.ReadFavouritesFile();
    QSignalSpy changed(&directory, &ChannelDirectory::FavouritesChanged);
    EXPECT_FALSE(directory.RemoveFavourite("Beat"));
    EXPECT_EQ(changed.count(), 0);

    EXPECT_TRUE(directory.RemoveFavourite("Beats"));
    EXPECT_EQ(directory.FavouritesText(), "Savanna Beats#Rift Radio#");
    EXPECT_EQ(folder.Read(kFile), "Savanna Beats#Rift Radio#");
    EXPECT_EQ(changed.count(), 1);

    EXPECT_TRUE(directory.RemoveFavourite("Savanna Beats"));
    EXPECT_TRUE(directory.RemoveFavourite("Rift Radio"));
    EXPECT_EQ(directory.FavouritesText(), "");
    EXPECT_TRUE(folder.Exists(kFile));
    EXPECT_EQ(folder.Read(kFile), "");
    EXPECT_EQ(changed.count(), 3);
}
