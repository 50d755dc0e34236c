#include "directory/ChannelDirectory.h"
#include "directory/LocalFiles.h"
#include "support/LockedFolder.h"
#include "support/TempFolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <functional>
#include <gtest/gtest.h>
#include <optional>
#include <vector>

namespace {

Catalogue CatalogueAt(const QByteArray& folderAddress)
{
    Catalogue catalogue;
    catalogue.PackageName = QByteArrayLiteral("package0");
    catalogue.PackageFolderAddress = folderAddress;
    return catalogue;
}

struct LastChannelCase
{
    const char* label;
    QByteArray folderAddress;
    QByteArray name;
    bool lineEnd;
    QByteArray bytes;
};

TEST(LocalFiles, SaveLastChannelWritesPackageLineAndName)
{
    const LastChannelCase cases[] = {
        {"tree form", "http://127.0.0.1:8000/Wavelark/package3/", "Jazz Radio", false,
         "package3\nJazz Radio"},
        {"radio window form", "http://127.0.0.1:8000/Wavelark/package3/", "Jazz Radio", true,
         "package3\nJazz Radio\n"},
        {"random from Hide", "http://h/Wavelark/package3", "random", true, "package3\nrandom\n"},
        {"no package in the address", "http://h/Wavelark/", "Jazz", false, "package0\nJazz"},
        {"empty address", "", "Jazz", false, "package0\nJazz"},
        {"letter case counts", "http://h/Package3/", "Jazz", false, "package0\nJazz"},
        {"first occurrence, eight characters", "http://h/package12/package9/", "Jazz", false,
         "package1\nJazz"},
        {"fewer than eight characters left", "http://h/packag/package", "Jazz", false,
         "package\nJazz"},
        {"bytes kept", "http://h/package4",
         "Bergstra\xDF"
         "e",
         false,
         "package4\nBergstra\xDF"
         "e"},
    };
    for (const LastChannelCase& c : cases) {
        SCOPED_TRACE(c.label);
        TempFolder folder;
        folder.Write(QStringLiteral("channel.dat"), QByteArray(300, 'x')); // replaced whole
        const Catalogue catalogue = CatalogueAt(c.folderAddress);
        const bool written = c.lineEnd ? SaveLastChannelWithLineEnd(catalogue, c.name)
                                       : SaveLastChannel(catalogue, c.name);
        EXPECT_TRUE(written);
        EXPECT_EQ(folder.Read(QStringLiteral("channel.dat")), c.bytes);
        EXPECT_EQ(QDir(folder.Path()).entryList(QDir::Files | QDir::Hidden).size(), 1);
    }
}

struct StartChannelCase
{
    const char* label;
    std::optional<QByteArray> file;
    QByteArray packageName;
    QByteArray expected;
};

TEST(LocalFiles, ReadStartChannelRestoresOrPicksRandom)
{
    const StartChannelCase cases[] = {
        {"no file", std::nullopt, "package0", ""},
        {"saved under a later package", "package3\nJazz", "package0", "random"},
        {"saved under an earlier package", "package0\nJazz", "package3", "Jazz"},
        {"same package", "package0\nJazz", "package0", "Jazz"},
        {"name followed by LF", "package0\nJazz Radio\n", "package0", "Jazz Radio"},
        {"only line 1", "package0", "package0", ""},
        {"only line 1 and LF", "package0\n", "package0", ""},
        {"empty file", "", "package0", ""},
        {"shorter text sorts first", "package0x\nJazz", "package0", "random"},
        {"longer text sorts after", "package\nJazz", "package0", "Jazz"},
        {"bytes compare unsigned", "package\xE9\nJazz", "packagez", "random"},
        {"bytes compare unsigned, other way", "packagez\nJazz", "package\xE9", "Jazz"},
        {"saved random stays random", "package0\nrandom\n", "package0", "random"},
        {"third line ignored", "package0\nJazz\nRock", "package0", "Jazz"},
    };
    for (const StartChannelCase& c : cases) {
        SCOPED_TRACE(c.label);
        TempFolder folder;
        if (c.file)
            folder.Write(QStringLiteral("channel.dat"), *c.file);
        EXPECT_EQ(ReadStartChannel(c.packageName), c.expected);
    }
}

TEST(LocalFiles, SavedChannelReadsBack)
{
    TempFolder folder;
    const Catalogue catalogue = CatalogueAt("http://h/Wavelark/package2");
    ASSERT_TRUE(SaveLastChannel(catalogue, QByteArrayLiteral("Elbwelle Hamburg")));
    EXPECT_EQ(ReadStartChannel(QByteArrayLiteral("package2")),
              QByteArrayLiteral("Elbwelle Hamburg"));
    EXPECT_EQ(ReadStartChannel(QByteArrayLiteral("package1")), QByteArrayLiteral("random"));
    ASSERT_TRUE(SaveLastChannelWithLineEnd(catalogue, QByteArrayLiteral("Spreeklang 97,4")));
    EXPECT_EQ(ReadStartChannel(QByteArrayLiteral("package9")),
              QByteArrayLiteral("Spreeklang 97,4"));
}

struct FavouritesCase
{
    const char* label;
    std::vector<QByteArray> additions;
    QByteArray text;
};

TEST(LocalFiles, FavouritesAppendWholeNamesOnce)
{
    const FavouritesCase cases[] = {
        {"two in order", {"Alpha", "Beta"}, "Alpha#Beta#"},
        {"same twice", {"Alpha", "Alpha"}, "Alpha#"},
        {"a part of a longer name is a name of its own",
         {"Savanna Beats", "Beats", "Beats"},
         "Savanna Beats#Beats#"},
        {"longer name after a shorter one", {"Jazz", "Jazz Classics"}, "Jazz#Jazz Classics#"},
        {"letter case differs", {"Jazz", "jazz"}, "Jazz#jazz#"},
        {"a name with the separator would split: refused", {"Alpha", "a#B"}, "Alpha#"},
        {"a name with a line end or a NUL: refused",
         {"Alpha", QByteArray("x\ny"), QByteArray("x\0y", 3)},
         "Alpha#"},
        {"bytes above 127 are kept",
         {"Caf\xE9", "\xD0\x9C\xD0\xB8\xD1\x80"},
         "Caf\xE9#\xD0\x9C\xD0\xB8\xD1\x80#"},
    };
    for (const FavouritesCase& c : cases) {
        SCOPED_TRACE(c.label);
        TempFolder folder;
        ChannelDirectory directory;
        for (const QByteArray& name : c.additions)
            directory.AddFavourite(name);
        EXPECT_EQ(directory.FavouritesText(), c.text);
        EXPECT_EQ(folder.Read(QStringLiteral("favoutites.dat")), c.text);
    }
}

TEST(LocalFiles, FavouriteAlreadyPresentWritesNothing)
{
    TempFolder folder;
    ChannelDirectory directory;
    ASSERT_TRUE(directory.AddFavourite(QByteArrayLiteral("Jazz Classics")));
    folder.Write(QStringLiteral("favoutites.dat"), "untouched");
    EXPECT_FALSE(directory.AddFavourite(QByteArrayLiteral("Jazz Classics")));
    EXPECT_FALSE(directory.AddFavourite(QByteArray()));
    EXPECT_EQ(folder.Read(QStringLiteral("favoutites.dat")), "untouched");
    EXPECT_TRUE(directory.AddFavourite(QByteArrayLiteral("Jazz")));
    EXPECT_EQ(folder.Read(QStringLiteral("favoutites.dat")),
              QByteArrayLiteral("Jazz Classics#Jazz#"));
}

TEST(LocalFiles, TreeChannelFileHoldsTheNameOnly)
{
    TempFolder folder;
    ASSERT_TRUE(SaveTreeChannel(QByteArrayLiteral("Radio Schwarzwaldtal")));
    EXPECT_EQ(folder.Read(QStringLiteral("tv.dat")), QByteArrayLiteral("Radio Schwarzwaldtal"));
    ASSERT_TRUE(SaveTreeChannel(QByteArrayLiteral("Ost")));
    EXPECT_EQ(folder.Read(QStringLiteral("tv.dat")), QByteArrayLiteral("Ost"));
}

struct WriterCase
{
    const char* label;
    QString file;
    std::function<bool(Catalogue&)> write;
};

TEST(LocalFiles, UnwritableFolderKeepsTheOldFile)
{
    const WriterCase cases[] = {
        {"channel.dat, tree form", QStringLiteral("channel.dat"),
         [](Catalogue& c) { return SaveLastChannel(c, QByteArrayLiteral("New")); }},
        {"channel.dat, window form", QStringLiteral("channel.dat"),
         [](Catalogue& c) { return SaveLastChannelWithLineEnd(c, QByteArrayLiteral("New")); }},
        {"favoutites.dat", QStringLiteral("favoutites.dat"),
         [](Catalogue&) { return SaveFavourites(QByteArrayLiteral("New#")); }},
        {"tv.dat", QStringLiteral("tv.dat"),
         [](Catalogue&) { return SaveTreeChannel(QByteArrayLiteral("New")); }},
    };
    for (const WriterCase& c : cases) {
        SCOPED_TRACE(c.label);
        TempFolder folder;
        folder.Write(c.file, QByteArrayLiteral("old content\n"));
        LockedFolder lock(folder.Path());
        if (!lock.Locked())
            GTEST_SKIP() << "this file system lets the test user write anywhere";
        Catalogue catalogue = CatalogueAt("http://h/package1");
        EXPECT_FALSE(c.write(catalogue));
        EXPECT_EQ(folder.Read(c.file), QByteArrayLiteral("old content\n"));
        EXPECT_EQ(QDir(folder.Path()).entryList(QDir::Files | QDir::Hidden).size(), 1);
    }
}

TEST(LocalFiles, ALinkInTheWorkingFolderIsReplacedNotWrittenThrough)
{
    const WriterCase cases[] = {
        {"channel.dat", QStringLiteral("channel.dat"),
         [](Catalogue& c) { return SaveLastChannel(c, QByteArrayLiteral("New")); }},
        {"favoutites.dat", QStringLiteral("favoutites.dat"),
         [](Catalogue&) {
             ChannelDirectory directory;
             return directory.AddFavourite(QByteArrayLiteral("New"));
         }},
        {"tv.dat", QStringLiteral("tv.dat"),
         [](Catalogue&) { return SaveTreeChannel(QByteArrayLiteral("New")); }},
    };
    for (const WriterCase& c : cases) {
        SCOPED_TRACE(c.label);
        TempFolder elsewhere;
        elsewhere.Write(QStringLiteral("precious"), QByteArrayLiteral("not yours\n"));
        TempFolder folder;
        ASSERT_TRUE(
            QFile::link(elsewhere.FilePath(QStringLiteral("precious")), folder.FilePath(c.file)));
        Catalogue catalogue = CatalogueAt("http://h/package0");
        EXPECT_TRUE(c.write(catalogue));
        EXPECT_EQ(elsewhere.Read(QStringLiteral("precious")), QByteArrayLiteral("not yours\n"));
        const QFileInfo written(folder.FilePath(c.file));
        EXPECT_FALSE(written.isSymLink());
        EXPECT_TRUE(folder.Read(c.file).contains("New"));
        EXPECT_EQ(QDir(folder.Path()).entryList(QDir::Files | QDir::Hidden).size(), 1);
    }
}

} // namespace
