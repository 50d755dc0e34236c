#pragma once

#include "app/InterfaceArchive.h"
#include "directory/ChannelDirectory.h"
#include "directory/ContentServer.h"
#include "hosted/MediaPlayer.h"
#include "radio/Station.h"
#include "radio/Wavelark.h"
#include "support/LocalHttpServer.h"
#include "support/TempFolder.h"
#include "support/TestArchive.h"
#include "support/TestStreams.h"
#include "support/Wait.h"
#include "ui/MessageDialog.h"
#include "ui/Skin.h"

#include <QApplication>
#include <QFile>
#include <QTimer>
#include <algorithm>
#include <condition_variable>
#include <functional>
#include <gtest/gtest.h>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

// Four channels in two countries; the content server offers all but Gamma ("1101").
inline const QByteArray kCatalogue = "4\r\n"
                                     "Germany\r\nNews from the north\r\n11\r\nAlpha\r\n"
                                     "Germany\r\nThe second\r\n12\r\nBeta\r\n"
                                     "France\r\nNot offered\r\n13\r\nGamma\r\n"
                                     "France\r\nThe last\r\n14\r\nDelta\r\n";

inline std::string StreamFile(int n)
{
    return "/Wavelark/freechannels/package0/" + std::to_string(n) + ".rd";
}

// A content server for a catalogue: the availability text, every stream file pointing at the
// test tone unless the test points one elsewhere, the version file and the vendor's pages. It
// also serves an ICY stream at /icy.mp3: the tone MP3 it was given, with Shoutcast metadata
// every kMetaInterval bytes carrying the title bytes the test set. It remembers the paths asked
// for, and can hold one stream file's answer until the test lets it go.
class CatalogueServer
{
public:
    static constexpr size_t kMetaInterval = 2048;

    explicit CatalogueServer(std::string availability = "1101")
        : m_availability(std::move(availability))
    {
    }
    // A held answer must go before the members its handler uses.
    ~CatalogueServer()
    {
        Release();
        m_http.Stop();
    }

    bool Start(const QString& defaultStream, const QByteArray& toneMp3 = QByteArray())
    {
        m_defaultStream = defaultStream.toStdString();
        m_tone = toneMp3.toStdString();
        m_http.server().Get(R"(/Wavelark/freechannels/(.*))",
                            [this](const httplib::Request& request, httplib::Response& response) {
                                AnswerChannelFile(request, response);
                            });
        m_http.server().Get(R"(/wavelark/(.*))", [this](const httplib::Request& request,
                                                        httplib::Response& response) {
            std::lock_guard lock(m_mutex);
            m_paths.push_back(request.path);
            if (request.path == "/wavelark/channelsplus/versionplus.txt")
                response.set_content(m_versionFile, "text/plain");
            else
                response.set_content(
                    "<!DOCTYPE html><html><body>" + request.path + "</body></html>", "text/html");
        });
        m_http.server().Get("/icy.mp3",
                            [this](const httplib::Request& request, httplib::Response& response) {
                                AnswerIcy(request, response);
                            });
        return m_http.Start();
    }
    std::string Root() const { return m_http.Root(); }
    QString IcyUrl() const { return QString::fromStdString(m_http.Root() + "icy.mp3"); }
    int Requests(const std::string& path)
    {
        std::lock_guard lock(m_mutex);
        return int(std::count(m_paths.begin(), m_paths.end(), path));
    }
    void SetStream(int channel, const QString& url)
    {
        std::lock_guard lock(m_mutex);
        m_streams[StreamFile(channel)] = url.toStdString();
    }
    void SetIcyTitle(const QByteArray& bytes)
    {
        std::lock_guard lock(m_mutex);
        m_icyTitle = bytes.toStdString();
    }
    void SetStreamFilesDown(bool down)
    {
        std::lock_guard lock(m_mutex);
        m_streamFilesDown = down;
    }
    void SetVersionFile(std::string text)
    {
        std::lock_guard lock(m_mutex);
        m_versionFile = std::move(text);
    }
    // Stream file `channel` is answered only after Release().
    void Hold(int channel)
    {
        std::lock_guard lock(m_mutex);
        m_heldPath = StreamFile(channel);
    }
    // The availability text is answered only after Release().
    void HoldAvailability()
    {
        std::lock_guard lock(m_mutex);
        m_heldPath = kAvailabilityPath;
    }
    void Release()
    {
        {
            std::lock_guard lock(m_mutex);
            m_release = true;
        }
        m_released.notify_all();
    }
    int HeldAnswers()
    {
        std::lock_guard lock(m_mutex);
        return m_heldAnswers;
    }

private:
    void AnswerChannelFile(const httplib::Request& request, httplib::Response& response)
    {
        std::unique_lock lock(m_mutex);
        m_paths.push_back(request.path);
        if (request.path == m_heldPath) {
            // A server that hangs: the answer comes only when the test lets it go.
            m_released.wait(lock, [this] { return m_release; });
            ++m_heldAnswers;
        }
        if (request.path == kAvailabilityPath) {
            response.set_content(m_availability, "text/plain");
            return;
        }
        if (m_streamFilesDown) {
            response.set_content("<!DOCTYPE html><html>Not Found</html>", "text/html");
            return;
        }
        const auto special = m_streams.find(request.path);
        response.set_content((special != m_streams.end() ? special->second : m_defaultStream) +
                                 "\r\n",
                             "text/plain");
    }

    void AnswerIcy(const httplib::Request& request, httplib::Response& response)
    {
        std::string title;
        {
            std::lock_guard lock(m_mutex);
            title = m_icyTitle;
        }
        if (request.get_header_value("Icy-MetaData") != "1") {
            response.set_content(m_tone, "audio/mpeg");
            return;
        }
        std::string metadata = "StreamTitle='" + title + "';";
        metadata.resize((metadata.size() + 15) / 16 * 16, '\0');
        std::string body;
        for (size_t at = 0; at < m_tone.size(); at += kMetaInterval) {
            const std::string audio = m_tone.substr(at, kMetaInterval);
            body += audio;
            if (audio.size() == kMetaInterval) {
                body += char(metadata.size() / 16);
                body += metadata;
            }
        }
        response.set_header("icy-metaint", std::to_string(kMetaInterval));
        response.set_header("icy-name", "Wavelark ICY test");
        response.set_content(body, "audio/mpeg");
    }

    static constexpr const char* kAvailabilityPath = "/Wavelark/freechannels/package0.rd";

    LocalHttpServer m_http;
    std::mutex m_mutex;
    std::vector<std::string> m_paths;
    std::string m_availability;
    std::string m_versionFile = "3.0\r\n";
    std::map<std::string, std::string> m_streams;
    std::string m_defaultStream;
    std::string m_tone;
    std::string m_icyTitle;
    bool m_streamFilesDown = false;
    std::string m_heldPath;
    std::condition_variable m_released;
    bool m_release = false;
    int m_heldAnswers = 0;
};

// Opens the radio window as the tray's "Open" does, lets `act` work in it once its modal loop
// runs, and returns when the window has closed (a guard closes it after `guardMs`).
inline void OpenRadioWindowFromTheTray(CWavelark& window, const std::function<void(CStation&)>& act,
                                       int guardMs = 5000)
{
    QTimer poll;
    poll.setInterval(20);
    QObject::connect(&poll, &QTimer::timeout, [&poll, act] {
        if (auto* station = qobject_cast<CStation*>(QApplication::activeModalWidget())) {
            poll.stop();
            act(*station);
        }
    });
    poll.start();
    // Its own timer, gone with this call, so it can never close a later test's window.
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, [] {
        if (auto* station = qobject_cast<CStation*>(QApplication::activeModalWidget()))
            station->reject();
    });
    guard.start(guardMs);
    window.RunTrayCommand(CWavelark::kCommandOpen);
}

// The hidden main window against a real content server and a real player on fakesink, in a
// temporary working folder.
class RadioTest : public WithTestStreams
{
protected:
    explicit RadioTest(QByteArray catalogue = kCatalogue, std::string availability = "1101")
        : m_catalogueText(std::move(catalogue)), m_content(std::move(availability))
    {
    }

    void SetUp() override
    {
        WithTestStreams::SetUp();
        if (IsSkipped())
            return;
        qputenv("WAVELARK_AUDIO_SINK", "fakesink sync=true");
        QFile mp3(s_streams->FilePath(QStringLiteral("tone.mp3")));
        ASSERT_TRUE(mp3.open(QIODevice::ReadOnly));
        ASSERT_TRUE(m_content.Start(s_streams->Url(QStringLiteral("tone.ogg")), mp3.readAll()));
        m_server =
            std::make_unique<ContentServer>(QByteArray::fromStdString(m_content.Root()), "3.0");
        m_folder.Write(QStringLiteral("Interface/radio.int"),
                       ArchiveWithCatalogue(m_catalogueText));
        m_archive = LoadInterfaceArchive(m_folder.FilePath(QStringLiteral("Interface/radio.int")));
    }
    void TearDown() override
    {
        m_window.reset();
        qunsetenv("WAVELARK_AUDIO_SINK");
    }

    CWavelark& Start(LocalClock clock = [] { return ClockReading{0, 0}; })
    {
        StartWithoutWaiting(std::move(clock));
        EXPECT_TRUE(Settled());
        return *m_window;
    }
    // Runs the start-up chain and returns while its fetches may still be in flight.
    CWavelark& StartWithoutWaiting(LocalClock clock = [] { return ClockReading{0, 0}; })
    {
        m_window = std::make_unique<CWavelark>(m_directory, m_skin, *m_server, m_archive,
                                               QByteArrayLiteral("3.0"));
        m_window->SetScreenSize(QSize(1024, 768));
        m_window->SetClock(std::move(clock));
        m_window->OnInitDialog();
        return *m_window;
    }

    // Runs the event loop until no request waits for the content server any more (the start
    // channel, a choice, a resume): what it plays and writes is then there to check.
    bool Settled() const
    {
        const bool settled = WaitUntil([this] { return !m_window->Playback().IsBusy(); }, 20000);
        // What the answer set off after the input at hand (the open window following it).
        QCoreApplication::processEvents();
        return settled;
    }

    // Closes every message dialog that opens from now on, remembering its text.
    void AnswerMessages()
    {
        auto* timer = new QTimer(m_window.get());
        QObject::connect(timer, &QTimer::timeout, [this] {
            if (auto* message = qobject_cast<CMessage*>(QApplication::activeModalWidget())) {
                m_messages.push_back(message->m_strText);
                message->accept();
            }
        });
        timer->start(20);
    }

    QByteArray m_catalogueText;
    TempFolder m_folder;
    CatalogueServer m_content;
    std::unique_ptr<ContentServer> m_server;
    InterfaceArchive m_archive;
    ChannelDirectory m_directory;
    Skin m_skin;
    std::unique_ptr<CWavelark> m_window;
    std::vector<QByteArray> m_messages;
};
