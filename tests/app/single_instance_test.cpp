#include "app/SingleInstance.h"
#include "support/TempFolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QThread>
#include <csignal>
#include <functional>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The lock folder follows XDG_RUNTIME_DIR; point it at a private folder for the test.
class SingleInstanceTest : public testing::Test
{
protected:
    void SetUp() override
    {
        m_previous = qgetenv("XDG_RUNTIME_DIR");
        qputenv("XDG_RUNTIME_DIR", m_folder.Path().toLocal8Bit());
    }
    void TearDown() override { qputenv("XDG_RUNTIME_DIR", m_previous); }

    TempFolder m_folder;
    QByteArray m_previous;
};

} // namespace

TEST_F(SingleInstanceTest, SecondHolderSeesTheFirstUntilItIsGone)
{
    auto first = std::make_unique<SingleInstance>(QStringLiteral("wavelark-test"));
    EXPECT_FALSE(first->AlreadyRunning());
    EXPECT_TRUE(first->LockPath().startsWith(m_folder.Path()));
    {
        SingleInstance second(QStringLiteral("wavelark-test"));
        EXPECT_TRUE(second.AlreadyRunning());
    }
    first.reset();
    SingleInstance third(QStringLiteral("wavelark-test"));
    EXPECT_FALSE(third.AlreadyRunning());
}

TEST_F(SingleInstanceTest, AKilledHolderReleasesTheLock)
{
    // flock(1) holds the lock from another process, as a running instance would; then the
    // whole process group dies without any clean-up, as in a crash.
    const QString lockPath = m_folder.FilePath(QStringLiteral("wavelark-test.lock"));
    QProcess holder;
    holder.setChildProcessModifier([] { ::setsid(); });
    holder.start(QStringLiteral("flock"),
                 {QStringLiteral("-x"), lockPath, QStringLiteral("sleep"), QStringLiteral("30")});
    ASSERT_TRUE(holder.waitForStarted(5000));
    const auto pollUntil = [](bool expectRunning) {
        for (int i = 0; i < 250; ++i) {
            if (SingleInstance(QStringLiteral("wavelark-test")).AlreadyRunning() == expectRunning)
                return true;
            QThread::msleep(20);
        }
        return false;
    };
    EXPECT_TRUE(pollUntil(true));
    ::kill(-static_cast<pid_t>(holder.processId()), SIGKILL);
    holder.waitForFinished(5000);
    EXPECT_TRUE(pollUntil(false));
}

namespace {

// Without XDG_RUNTIME_DIR the lock goes into a folder of the user's own in the temp folder,
// here a private temp folder of the test (TMPDIR).
class SingleInstanceInTempTest : public testing::Test
{
protected:
    void SetUp() override
    {
        m_previousRuntime = qgetenv("XDG_RUNTIME_DIR");
        m_previousTemp = qgetenv("TMPDIR");
        qunsetenv("XDG_RUNTIME_DIR");
        qputenv("TMPDIR", m_temp.Path().toLocal8Bit());
    }
    void TearDown() override
    {
        Restore("XDG_RUNTIME_DIR", m_previousRuntime);
        Restore("TMPDIR", m_previousTemp);
    }
    static void Restore(const char* name, const QByteArray& value)
    {
        if (value.isNull())
            qunsetenv(name);
        else
            qputenv(name, value);
    }

    TempFolder m_temp;
    QByteArray m_previousRuntime;
    QByteArray m_previousTemp;
};

QByteArray Local(const QString& path)
{
    return QFile::encodeName(path);
}

} // namespace

// What another local user (or a stale mistake) may leave in the shared temp folder: the lock is
// never taken through it, nothing is created through a link, and the program still starts.
TEST_F(SingleInstanceInTempTest, UsesOnlyAPrivateFolderAndFileOfItsOwn)
{
    // Another user: the tests run as root, so files are given to "nobody".
    constexpr uid_t kOtherUser = 65534;
    const QString folder = m_temp.FilePath(QStringLiteral("wavelark-%1").arg(geteuid()));
    const QString lock = folder + QStringLiteral("/wavelark-test.lock");
    const QString elsewhere = m_temp.FilePath(QStringLiteral("elsewhere"));
    const auto makeFolder = [&](mode_t mode) {
        ASSERT_EQ(::mkdir(Local(folder).constData(), 0700), 0);
        ASSERT_EQ(::chmod(Local(folder).constData(), mode), 0);
    };
    const auto makeLock = [&](mode_t mode) {
        makeFolder(0700);
        QFile file(lock);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.close();
        ASSERT_EQ(::chmod(Local(lock).constData(), mode), 0);
    };
    struct Case
    {
        const char* name;
        std::function<void()> plant;
        bool guarding;
    };
    const Case cases[] = {
        {"nothing there yet", [] {}, true},
        {"our own folder and lock file from an earlier run", [&] { makeLock(0600); }, true},
        {"a folder of another user",
         [&] {
             makeFolder(0700);
             ASSERT_EQ(::chown(Local(folder).constData(), kOtherUser, kOtherUser), 0);
         },
         false},
        {"our folder, open to others", [&] { makeFolder(0755); }, false},
        {"our folder, writable by all", [&] { makeFolder(0777); }, false},
        {"a link to a private folder",
         [&] {
             ASSERT_EQ(::mkdir(Local(elsewhere).constData(), 0700), 0);
             ASSERT_EQ(::symlink(Local(elsewhere).constData(), Local(folder).constData()), 0);
         },
         false},
        {"a lock file of another user",
         [&] {
             makeLock(0600);
             ASSERT_EQ(::chown(Local(lock).constData(), kOtherUser, kOtherUser), 0);
         },
         false},
        {"a lock file others may write", [&] { makeLock(0666); }, false},
        {"a link in place of the lock file",
         [&] {
             makeFolder(0700);
             ASSERT_EQ(::symlink(Local(elsewhere).constData(), Local(lock).constData()), 0);
         },
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QDir(folder).removeRecursively();
        QFile::remove(folder); // a link left by the previous case
        QDir(elsewhere).removeRecursively();
        QFile::remove(elsewhere);
        c.plant();
        if (testing::Test::HasFatalFailure())
            return;

        SingleInstance first(QStringLiteral("wavelark-test"));
        SingleInstance second(QStringLiteral("wavelark-test"));
        EXPECT_EQ(first.Guarding(), c.guarding);
        // A refused lock leaves the program unguarded rather than kept from starting.
        EXPECT_EQ(second.AlreadyRunning(), c.guarding);
        EXPECT_FALSE(first.AlreadyRunning());
        EXPECT_FALSE(QFileInfo::exists(elsewhere) && !QFileInfo(elsewhere).isDir())
            << "a file was created through a link";
        EXPECT_TRUE(QDir(elsewhere).isEmpty());
        if (c.guarding) {
            EXPECT_EQ(first.LockPath(), lock);
            struct stat status = {};
            ASSERT_EQ(::lstat(Local(folder).constData(), &status), 0);
            EXPECT_TRUE(S_ISDIR(status.st_mode));
            EXPECT_EQ(status.st_mode & 0777, 0700u);
        }
    }
}

// A runtime folder that is not the user's own is passed over for the private temp folder.
TEST_F(SingleInstanceInTempTest, PassesOverARuntimeFolderOfAnotherUser)
{
    const QString runtime = m_temp.FilePath(QStringLiteral("runtime"));
    ASSERT_EQ(::mkdir(Local(runtime).constData(), 0700), 0);
    ASSERT_EQ(::chown(Local(runtime).constData(), 65534, 65534), 0);
    qputenv("XDG_RUNTIME_DIR", Local(runtime));
    SingleInstance instance(QStringLiteral("wavelark-test"));
    EXPECT_TRUE(instance.Guarding());
    EXPECT_EQ(instance.LockPath(),
              m_temp.FilePath(QStringLiteral("wavelark-%1/wavelark-test.lock").arg(geteuid())));
    EXPECT_TRUE(QDir(runtime).isEmpty());
}
