// The helper every file of the working folder is written through: whole or not at all, never
// through a link, keeping the permissions of the file it replaces.

#include "app/AtomicFile.h"
#include "support/LockedFolder.h"
#include "support/TempFolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <functional>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace {

const QString kName = QStringLiteral("setting.dat");

struct AtomicCase
{
    const char* label;
    // Prepares the working folder (and a second folder for a link's target).
    std::function<void(TempFolder& folder, TempFolder& elsewhere)> before;
    bool written;
    // The file's permission bits afterwards; 0 to leave unchecked.
    mode_t mode;
};

mode_t ModeOf(const QString& path)
{
    struct stat info = {};
    if (::lstat(QFile::encodeName(path).constData(), &info) != 0)
        return 0;
    return info.st_mode & 07777;
}

} // namespace

TEST(AtomicFile, WritesWholeNeverThroughALinkAndKeepsPermissions)
{
    const mode_t oldMask = ::umask(022);
    const AtomicCase cases[] = {
        {"a new file takes 0666 less the umask", [](TempFolder&, TempFolder&) {}, true, 0644},
        {"an existing file keeps its permissions",
         [](TempFolder& folder, TempFolder&) {
             folder.Write(kName, "old\n");
             ::chmod(QFile::encodeName(folder.FilePath(kName)).constData(), 0600);
         },
         true, 0600},
        {"a link to a file elsewhere is replaced, its target untouched",
         [](TempFolder& folder, TempFolder& elsewhere) {
             elsewhere.Write(QStringLiteral("precious"), "not yours\n");
             QFile::link(elsewhere.FilePath(QStringLiteral("precious")), folder.FilePath(kName));
         },
         true, 0644},
        {"a dangling link is replaced by the file",
         [](TempFolder& folder, TempFolder& elsewhere) {
             QFile::link(elsewhere.FilePath(QStringLiteral("missing")), folder.FilePath(kName));
         },
         true, 0644},
        {"a folder in the file's place stays and nothing is written",
         [](TempFolder& folder, TempFolder&) { QDir(folder.Path()).mkdir(kName); }, false, 0},
    };
    for (const AtomicCase& c : cases) {
        SCOPED_TRACE(c.label);
        TempFolder elsewhere;
        TempFolder folder;
        c.before(folder, elsewhere);
        const bool wasDir = QFileInfo(folder.FilePath(kName)).isDir();
        EXPECT_EQ(WriteFileAtomically(folder.FilePath(kName), "new\n"), c.written);
        const QFileInfo result(folder.FilePath(kName));
        if (c.written) {
            EXPECT_FALSE(result.isSymLink());
            EXPECT_TRUE(result.isFile());
            EXPECT_EQ(folder.Read(kName), "new\n");
        } else {
            EXPECT_EQ(result.isDir(), wasDir);
        }
        if (c.mode != 0) {
            EXPECT_EQ(ModeOf(folder.FilePath(kName)), c.mode);
        }
        // No temporary file is left beside it, whatever happened.
        EXPECT_EQ(
            QDir(folder.Path())
                .entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot),
            QStringList{kName});
        if (QFile::exists(elsewhere.FilePath(QStringLiteral("precious")))) {
            EXPECT_EQ(elsewhere.Read(QStringLiteral("precious")), "not yours\n");
        }
    }
    ::umask(oldMask);
}

TEST(AtomicFile, ALockedFolderKeepsTheOldFileWhole)
{
    TempFolder folder;
    folder.Write(kName, "old content\n");
    LockedFolder lock(folder.Path());
    if (!lock.Locked())
        GTEST_SKIP() << "this file system lets the test user write anywhere";
    EXPECT_FALSE(WriteFileAtomically(folder.FilePath(kName), QByteArray(64 * 1024, 'x')));
    EXPECT_EQ(folder.Read(kName), "old content\n");
    EXPECT_EQ(QDir(folder.Path()).entryList(QDir::Files | QDir::Hidden), QStringList{kName});
}
