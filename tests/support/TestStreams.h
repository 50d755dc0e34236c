#pragma once

#include "support/LocalHttpServer.h"

#include <QString>
#include <QTemporaryDir>
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
