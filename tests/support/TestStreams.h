#pragma once

#include "support/LocalHttpServer.h"

#include <QString>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <memory>

// A few seconds of 440 Hz tone encoded at test time, served over HTTP from 127.0.0.1 with
// Range support (Ogg playback asks for ranges).
class TestStreams
{
public:
    static constexpr char kToneTitle[] = "Wavelark test tone";
    static constexpr char kToneOrganization[] = "Wavelark Test Radio";
    static constexpr double kToneSeconds = 3.0;

    // Encodes the files and starts the server; false (with a test failure) when either fails.
    bool Start();

    // "http://127.0.0.1:PORT/name"
    QString Url(const QString& name) const;
    QString FilePath(const QString& name) const { return m_dir.filePath(name); }

    // Files: tone.ogg (Ogg Vorbis), tone.mp3 (MP3), titled.ogg (Ogg Vorbis with title and
    // organization tags).

private:
    QTemporaryDir m_dir;
    std::unique_ptr<LocalHttpServer> m_server;
};

// A port on 127.0.0.1 that nothing listens on (bound once by the test, then released).
int ClosedLocalPort();

// A suite whose tests play the encoded test streams: they are made once for the suite and
// served until its last test has run. Tests are skipped when they cannot be made.
class WithTestStreams : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        s_streams = std::make_unique<TestStreams>();
        if (!s_streams->Start())
            s_streams.reset();
    }
    static void TearDownTestSuite() { s_streams.reset(); }

    void SetUp() override
    {
        if (!s_streams)
            GTEST_SKIP() << "no test streams";
    }

    static inline std::unique_ptr<TestStreams> s_streams;
};
