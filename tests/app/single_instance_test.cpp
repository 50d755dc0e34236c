#include "app/SingleInstance.h"
#include "support/TempFolder.h"

#include <QProcess>
#include <QThread>
#include <csignal>
#include <gtest/gtest.h>
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
