// The whole program on a faked wall clock (libfaketime; Qt's timers and GStreamer keep the real
// monotonic clock): started before a one-hour play time it stays silent, plays the saved
// channel when the clock reaches the start hour, and stops when the hour is over. The clock runs
// 120 times as fast, so the hour takes 30 s.

#include "support/LocalHttpServer.h"
#include "support/TestStreams.h"
#include "support/Wait.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <atomic>
#include <csignal>
#include <gtest/gtest.h>
#include <sys/prctl.h>

namespace {

const QString kFakeTime = QStringLiteral("/usr/lib/x86_64-linux-gnu/faketime/libfaketime.so.1");

TEST(PlaytimeOnAFakedClock, TheProgramWaitsForTheStartHourAndStopsAtTheEnd)
{
    const QString build = qEnvironmentVariable("WAVELARK_BUILD_DIR");
    if (!QFile::exists(kFakeTime))
        GTEST_SKIP() << "libfaketime is not installed";
    if (!QFile::exists(build + QStringLiteral("/wavelark")))
        GTEST_SKIP() << "the program is not built";

    TestStreams streams;
    ASSERT_TRUE(streams.Start());
    const std::string stream = streams.Url(QStringLiteral("tone.ogg")).toStdString() + "\r\n";
    std::atomic<int> streamFiles{0};
    LocalHttpServer content;
    content.server().Get(R"(/Wavelark/freechannels/(.*))",
                         [&](const httplib::Request& request, httplib::Response& response) {
                             if (request.path == "/Wavelark/freechannels/package0.rd") {
                                 response.set_content(std::string(40, '1'), "text/plain");
                                 return;
                             }
                             ++streamFiles;
                             response.set_content(stream, "text/plain");
                         });
    ASSERT_TRUE(content.Start());

    QTemporaryDir folder;
    QTemporaryDir runtime;
    ASSERT_TRUE(folder.isValid() && runtime.isValid());
    QFile::setPermissions(runtime.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QDir(folder.path()).mkpath(QStringLiteral("Interface"));
    QFile::link(build + QStringLiteral("/Interface/radio.int"),
                folder.filePath(QStringLiteral("Interface/radio.int")));
    const auto write = [&folder](const QString& name, const QByteArray& bytes) {
        QFile file(folder.filePath(name));
        return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
    };
    ASSERT_TRUE(write(QStringLiteral("channel.dat"), "package0\nElbwelle Hamburg"));
    ASSERT_TRUE(write(QStringLiteral("setting.dat"), "1\n0\n7\n0\n50")); // 07:00 for 1 hour

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime.path());
    env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"),
               QStringLiteral("unix:path=") + runtime.filePath(QStringLiteral("no-bus")));
    env.insert(QStringLiteral("WAVELARK_CONTENT_SERVER"), QString::fromStdString(content.Root()));
    env.insert(QStringLiteral("WAVELARK_AUDIO_SINK"), QStringLiteral("fakesink sync=true"));
    env.insert(QStringLiteral("QT_LOGGING_RULES"), QStringLiteral("wavelark.*.info=true"));
    env.insert(QStringLiteral("TZ"), QStringLiteral("UTC"));
    env.insert(QStringLiteral("LD_PRELOAD"), kFakeTime);
    // A sanitized program would refuse a library loaded ahead of its runtime; the clock library
    // only replaces time functions, which the sanitizers do not intercept.
    const QString asan = env.value(QStringLiteral("ASAN_OPTIONS"));
    env.insert(QStringLiteral("ASAN_OPTIONS"),
               asan + (asan.isEmpty() ? QString() : QStringLiteral(":")) +
                   QStringLiteral("verify_asan_link_order=0"));
    env.insert(QStringLiteral("FAKETIME"), QStringLiteral("@2026-12-11 06:55:00 x120"));
    env.insert(QStringLiteral("FAKETIME_DONT_FAKE_MONOTONIC"), QStringLiteral("1"));
    env.insert(QStringLiteral("ASAN_OPTIONS"),
               env.value(QStringLiteral("ASAN_OPTIONS")) + QStringLiteral(":detect_leaks=0"));
    QProcess program;
    program.setProcessEnvironment(env);
    program.setWorkingDirectory(folder.path());
    program.setProcessChannelMode(QProcess::MergedChannels);
    program.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
    program.start(build + QStringLiteral("/wavelark"), QStringList());
    ASSERT_TRUE(program.waitForStarted(5000));
    QString log;
    const auto logged = [&](const QString& text) {
        log += QString::fromUtf8(program.readAll());
        return log.contains(text);
    };

    ASSERT_TRUE(WaitUntil([&] { return logged(QStringLiteral("play time began")); }, 30000))
        << log.toStdString();
    ASSERT_TRUE(WaitUntil([&] { return logged(QStringLiteral("first audio buffer")); }, 20000))
        << log.toStdString();
    const QString playing = QStringLiteral("wavelark.playback: playing Elbwelle Hamburg");
    // Nothing played, and no stream file was asked for, before the start hour.
    EXPECT_GT(log.indexOf(playing), log.indexOf(QStringLiteral("play time began")))
        << log.toStdString();
    EXPECT_EQ(log.count(playing), 1) << log.toStdString();
    EXPECT_EQ(streamFiles.load(), 1);

    ASSERT_TRUE(WaitUntil([&] { return logged(QStringLiteral("play time ended")); }, 60000))
        << log.toStdString();
    EXPECT_TRUE(WaitUntil(
        [&] {
            logged(QString());
            return log.indexOf(QStringLiteral("stopping playback"),
                               log.indexOf(QStringLiteral("play time ended"))) > 0;
        },
        20000))
        << log.toStdString();
    EXPECT_EQ(program.state(), QProcess::Running);
    ::kill(static_cast<pid_t>(program.processId()), SIGTERM);
    EXPECT_TRUE(program.waitForFinished(10000));
    EXPECT_EQ(program.exitCode(), 0);
}

} // namespace
