// A catalogue imported from a station directory's list, served by a plain static web server
// (Debian's nginx, started by the test on a free port), played by the program; and a Cyrillic
// name's round trip through the tree, "channel.dat", the next start, the tool tip and the bus.

#include "app/InterfaceArchive.h"
#include "directory/ChannelDirectory.h"
#include "directory/ChannelTree.h"
#include "directory/ContentServer.h"
#include "hosted/MediaPlayer.h"
#include "radio/Mpris.h"
#include "radio/Station.h"
#include "radio/StationIds.h"
#include "radio/TrayIcon.h"
#include "radio/Wavelark.h"
#include "support/Loopback.h"
#include "support/TempFolder.h"
#include "support/TestStreams.h"
#include "support/Wait.h"
#include "ui/DialogUnits.h"
#include "ui/Skin.h"

#include <QApplication>
#include <QComboBox>
#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>
#include <memory>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// "Маяк" in UTF-8.
const QByteArray kMayak = "\xD0\x9C\xD0\xB0\xD1\x8F\xD0\xBA";

// A port on 127.0.0.1 that was free a moment ago.
int FreePort()
{
    const int probe = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address = LoopbackAddress(0);
    socklen_t length = sizeof address;
    const bool bound = ::bind(probe, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
                       ::getsockname(probe, reinterpret_cast<sockaddr*>(&address), &length) == 0;
    ::close(probe);
    return bound ? ntohs(address.sin_port) : -1;
}

bool Accepts(int port)
{
    const int client = ::socket(AF_INET, SOCK_STREAM, 0);
    const sockaddr_in address = LoopbackAddress(port);
    const bool connected =
        ::connect(client, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    ::close(client);
    return connected;
}

// nginx serving `root` on 127.0.0.1, in the foreground, with every file it writes in `work`.
class Nginx
{
public:
    ~Nginx()
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.terminate();
            if (!m_process.waitForFinished(5000)) {
                m_process.kill();
                m_process.waitForFinished(5000);
            }
        }
    }

    bool Start(const QString& root, const QString& work)
    {
        m_port = FreePort();
        if (m_port <= 0)
            return false;
        // The page files are .php on the vendor's host; served here as the HTML they are.
        // As root the workers would run as an unprivileged user that cannot read the test's
        // private folder.
        const QString user = ::geteuid() == 0 ? QStringLiteral("user root;\n") : QString();
        const QString config =
            user +
            QStringLiteral(
                "daemon off;\nworker_processes 1;\npid %1/nginx.pid;\nerror_log %1/error.log;\n"
                "events { worker_connections 64; }\n"
                "http {\n access_log off;\n client_body_temp_path %1/body;\n"
                " proxy_temp_path %1/proxy;\n fastcgi_temp_path %1/fastcgi;\n"
                " uwsgi_temp_path %1/uwsgi;\n scgi_temp_path %1/scgi;\n"
                " types { text/html html php; text/plain rd txt; }\n"
                " default_type application/octet-stream;\n"
                " server { listen 127.0.0.1:%2; root %3; }\n}\n")
                .arg(work)
                .arg(m_port)
                .arg(root);
        QFile file(work + QStringLiteral("/nginx.conf"));
        if (!file.open(QIODevice::WriteOnly) || file.write(config.toUtf8()) < 0)
            return false;
        file.close();
        m_process.setProcessChannelMode(QProcess::ForwardedChannels);
        m_process.start(QStringLiteral("/usr/sbin/nginx"),
                        {QStringLiteral("-p"), work, QStringLiteral("-c"), file.fileName()});
        if (!m_process.waitForStarted(5000))
            return false;
        return WaitUntil([this] { return Accepts(m_port); }, 10000);
    }
    QByteArray Root() const { return "http://127.0.0.1:" + QByteArray::number(m_port) + '/'; }

private:
    QProcess m_process;
    int m_port = 0;
};

class ImportedCatalogueTest : public WithTestStreams
{
protected:
    void SetUp() override
    {
        WithTestStreams::SetUp();
        if (IsSkipped())
            return;
        qputenv("WAVELARK_AUDIO_SINK", "fakesink sync=true");
        const QByteArray list =
            "[{\"name\": \"" + kMayak + "\", \"url_resolved\": \"" +
            s_streams->Url(QStringLiteral("tone.ogg")).toUtf8() +
            "\", \"country\": \"\xD0\xA0\xD0\xBE\xD1\x81\xD1\x81\xD0\xB8\xD1\x8F\", "
            "\"codec\": \"OGG\", \"lastcheckok\": 1},\n"
            " {\"name\": \"Second\", \"url\": \"" +
            s_streams->Url(QStringLiteral("tone.mp3")).toUtf8() + "\", \"country\": \"Other\"}]\n";
        m_folder.Write(QStringLiteral("stations.json"), list);
        QProcess pack;
        pack.setProcessChannelMode(QProcess::ForwardedChannels);
        pack.start(QCoreApplication::applicationDirPath() + QStringLiteral("/wavelark-pack"),
                   {QStringLiteral("import"), QStringLiteral("--archive"),
                    m_folder.FilePath(QStringLiteral("Interface/radio.int")),
                    QStringLiteral("--content"), m_folder.FilePath(QStringLiteral("content")),
                    m_folder.FilePath(QStringLiteral("stations.json"))});
        ASSERT_TRUE(pack.waitForFinished(30000));
        ASSERT_EQ(pack.exitCode(), 0);
        ASSERT_TRUE(QFile::exists(QStringLiteral("/usr/sbin/nginx")))
            << "nginx is not installed (scripts/install-deps installs it)";
        ASSERT_TRUE(m_nginx.Start(m_folder.FilePath(QStringLiteral("content")), m_folder.Path()));
        m_server = std::make_unique<ContentServer>(m_nginx.Root(), "3.0");
        m_archive = LoadInterfaceArchive(m_folder.FilePath(QStringLiteral("Interface/radio.int")));
    }
    void TearDown() override
    {
        m_window.reset();
        qunsetenv("WAVELARK_AUDIO_SINK");
    }

    CWavelark& Start()
    {
        m_window.reset();
        m_window = std::make_unique<CWavelark>(m_directory, m_skin, *m_server, m_archive,
                                               QByteArrayLiteral("3.0"));
        m_window->SetScreenSize(QSize(1024, 768));
        m_window->OnInitDialog();
        EXPECT_TRUE(WaitUntil([this] { return !m_window->Playback().IsBusy(); }, 20000));
        QCoreApplication::processEvents();
        return *m_window;
    }

    TempFolder m_folder;
    Nginx m_nginx;
    std::unique_ptr<ContentServer> m_server;
    InterfaceArchive m_archive;
    ChannelDirectory m_directory;
    Skin m_skin;
    std::unique_ptr<CWavelark> m_window;
};

TEST_F(ImportedCatalogueTest, NginxServesTheImportedTreeAndItsChannelPlays)
{
    m_folder.Write(QStringLiteral("channel.dat"), "package0\n" + kMayak);
    CWavelark& window = Start();
    EXPECT_EQ(m_directory.Channels().encoding, TextEncoding::Utf8);
    ASSERT_EQ(window.Playback().IsPlaying(), 1);
    EXPECT_EQ(window.Playback().SelectedChannelName(), kMayak);
    QSignalSpy firstAudio(window.Playback().Player(), &MediaPlayer::FirstAudio);
    EXPECT_TRUE(firstAudio.count() > 0 || firstAudio.wait(8000));
    const QString mayak = QString::fromUtf8(kMayak);
    EXPECT_EQ(window.Tray()->Icon().toolTip(), QStringLiteral("Wavelark\n") + mayak);
    ASSERT_NE(window.DesktopBus(), nullptr);
    EXPECT_EQ(window.DesktopBus()->Metadata().value(QStringLiteral("xesam:title")).toString(),
              mayak);
}

TEST_F(ImportedCatalogueTest, ACyrillicNameRoundTripsThroughTheTreeTheFilesAndTheNextStart)
{
    Start();
    const StationContext context{m_directory,       m_skin, *m_server, m_window->Playback(),
                                 QSize(1280, 1024), 3.0f,   "3.0"};
    auto station = std::make_unique<CStation>(context);
    station->OnInitDialog();
    station->show();
    station->activateWindow();
    QApplication::setActiveWindow(station.get());
    auto* countries = qobject_cast<QComboBox*>(FindControl(station.get(), kIdCountryList));
    const int russia = countries->findText(QStringLiteral("\u0420\u043E\u0441\u0441\u0438\u044F"));
    ASSERT_GE(russia, 0);
    countries->setCurrentIndex(russia);
    Q_EMIT countries->activated(russia);
    CMediaView* tree = station->ChannelTree();
    const auto found =
        tree->findItems(QString::fromUtf8(kMayak), Qt::MatchExactly | Qt::MatchRecursive);
    ASSERT_EQ(found.size(), 1);
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {},
                      tree->visualItemRect(found[0]).center());
    ASSERT_TRUE(WaitUntil([this] { return !m_window->Playback().IsBusy(); }, 20000));
    EXPECT_EQ(m_window->Playback().IsPlaying(), 1);
    EXPECT_EQ(m_folder.Read(QStringLiteral("channel.dat")), "package0\n" + kMayak);
    EXPECT_EQ(m_folder.Read(QStringLiteral("tv.dat")), kMayak);
    // As a favourite too: the file holds the catalogue's bytes.
    tree->AddToMyChannels(found[0]);
    EXPECT_EQ(m_folder.Read(QStringLiteral("favoutites.dat")), kMayak + '#');
    station.reset();

    CWavelark& again = Start();
    EXPECT_EQ(again.Playback().SelectedChannelName(), kMayak);
    EXPECT_EQ(again.Playback().SelectedChannelText(), QString::fromUtf8(kMayak));
    EXPECT_EQ(again.Playback().IsPlaying(), 1);
    EXPECT_EQ(m_directory.FavouritesText(), kMayak + '#');
}

} // namespace
