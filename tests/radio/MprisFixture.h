#pragma once

// The program as an MPRIS player on a private session bus started by the test: the real hidden
// main window with a real player on fakesink, a content server on 127.0.0.1, and a D-Bus client
// on its own connection that calls, reads and listens as a desktop panel would. The bus itself
// is started once per test program (mpris_test.cpp registers it).

#include "app/InterfaceArchive.h"
#include "directory/ChannelTree.h"
#include "directory/ContentServer.h"
#include "hosted/MediaPlayer.h"
#include "radio/Mpris.h"
#include "radio/RadioFixture.h"
#include "radio/Station.h"
#include "radio/StationIds.h"
#include "radio/TrayIcon.h"
#include "radio/TrayToolTip.h"
#include "radio/Wavelark.h"
#include "support/LocalHttpServer.h"
#include "support/PrivateSessionBus.h"
#include "support/TempFolder.h"
#include "support/TestStreams.h"
#include "support/Wait.h"
#include "ui/DialogUnits.h"
#include "ui/MessageDialog.h"
#include "ui/Skin.h"

#include <QApplication>
#include <QComboBox>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusPendingCall>
#include <QDBusVariant>
#include <QFile>
#include <QMenu>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <condition_variable>
#include <csignal>
#include <gtest/gtest.h>
#include <map>
#include <mutex>
#include <optional>
#include <sys/prctl.h>

// Readable texts in failure messages.
inline void PrintTo(const QString& text, std::ostream* out)
{
    *out << '"' << text.toStdString() << '"';
}

namespace mprisfixture {

// The private session bus, started once for the whole test program (mpris_test.cpp registers
// it as a global environment).
class SessionBusEnvironment : public testing::Environment
{
public:
    void SetUp() override
    {
        // GLib's own session-bus connection (GSettings through dconf, reached from GStreamer's
        // HTTP source) ends the process with SIGTERM when its bus goes away, as a desktop
        // session wants; keep GLib off the test's bus so that it can be stopped at the end.
        qputenv("GSETTINGS_BACKEND", "memory");
        qputenv("GIO_USE_VFS", "local");
        s_bus = std::make_unique<PrivateSessionBus>();
        if (!s_bus->Start()) {
            s_bus.reset();
            qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/wavelark-test-bus");
            return;
        }
        qputenv("DBUS_SESSION_BUS_ADDRESS", s_bus->Address().toUtf8());
    }
    void TearDown() override
    {
        QDBusConnection::disconnectFromBus(QStringLiteral("mpris-test-client"));
        s_bus.reset();
    }
    static inline std::unique_ptr<PrivateSessionBus> s_bus;
};

inline const QString kService = QString::fromLatin1(Mpris::kServiceName);
inline const QString kPath = QString::fromLatin1(Mpris::kObjectPath);
inline const QString kRoot = QString::fromLatin1(Mpris::kRootInterface);
inline const QString kPlayer = QString::fromLatin1(Mpris::kPlayerInterface);
inline const QString kProperties = QStringLiteral("org.freedesktop.DBus.Properties");

// The desktop's side: its own connection to the private bus.
inline QDBusConnection Client()
{
    return QDBusConnection::connectToBus(SessionBusEnvironment::s_bus->Address(),
                                         QStringLiteral("mpris-test-client"));
}

// Sends `message` and runs the event loop until the answer came (the player lives on this
// thread, so a blocking call could never be answered).
inline QDBusMessage Send(const QDBusMessage& message)
{
    QDBusPendingCall call = Client().asyncCall(message, 5000);
    WaitUntil([&] { return call.isFinished(); }, 6000);
    return call.reply();
}

inline QDBusMessage Call(const QString& interface, const QString& method)
{
    return Send(QDBusMessage::createMethodCall(kService, kPath, interface, method));
}

// Plain values for what arrives as D-Bus structures.
inline QVariant Plain(const QVariant& value)
{
    if (value.canConvert<QDBusVariant>())
        return Plain(value.value<QDBusVariant>().variant());
    if (value.userType() == qMetaTypeId<QDBusArgument>()) {
        const auto argument = value.value<QDBusArgument>();
        if (argument.currentSignature() == QLatin1String("a{sv}")) {
            QVariantMap map = qdbus_cast<QVariantMap>(argument);
            for (auto it = map.begin(); it != map.end(); ++it)
                it.value() = Plain(it.value());
            return map;
        }
    }
    if (value.userType() == qMetaTypeId<QDBusObjectPath>())
        return value.value<QDBusObjectPath>().path();
    return value;
}

inline QVariant Get(const QString& interface, const QString& name)
{
    QDBusMessage get =
        QDBusMessage::createMethodCall(kService, kPath, kProperties, QStringLiteral("Get"));
    get << interface << name;
    const QDBusMessage reply = Send(get);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        return QVariant();
    return Plain(reply.arguments().at(0));
}

inline bool Set(const QString& interface, const QString& name, const QVariant& value)
{
    QDBusMessage set =
        QDBusMessage::createMethodCall(kService, kPath, kProperties, QStringLiteral("Set"));
    set << interface << name << QVariant::fromValue(QDBusVariant(value));
    return Send(set).type() == QDBusMessage::ReplyMessage;
}

inline QVariantMap Metadata()
{
    return Get(kPlayer, QStringLiteral("Metadata")).toMap();
}

inline std::string StreamFile(int n)
{
    return "/Wavelark/freechannels/package0/" + std::to_string(n) + ".rd";
}

// The content server for the four channels above ("1101": all but Gamma are offered), each
// channel's stream file pointing where the test says; it also serves an ICY stream at
// /icy.mp3: the test tone MP3 with Shoutcast metadata every kMetaInterval bytes carrying
// the title bytes the test set. It counts the paths asked for.
class ContentAndIcyServer
{
public:
    static constexpr size_t kMetaInterval = 2048;

    bool Start(const QString& defaultStream, const QByteArray& toneMp3)
    {
        m_defaultStream = defaultStream.toStdString();
        m_tone = toneMp3.toStdString();
        m_http.server().Get(
            R"(/Wavelark/freechannels/(.*))",
            [this](const httplib::Request& request, httplib::Response& response) {
                std::unique_lock lock(m_mutex);
                m_paths.push_back(request.path);
                if (request.path == "/Wavelark/freechannels/package0.rd") {
                    response.set_content("1101", "text/plain");
                    return;
                }
                if (request.path == m_heldPath) {
                    // A server that hangs: the answer comes only when the test lets it go.
                    m_released.wait(lock, [this] { return m_release; });
                    ++m_heldAnswers;
                }
                if (m_streamFilesDown) {
                    response.set_content("<!DOCTYPE html><html>Not Found</html>", "text/html");
                    return;
                }
                const auto special = m_streams.find(request.path);
                response.set_content(
                    (special != m_streams.end() ? special->second : m_defaultStream) + "\r\n",
                    "text/plain");
            });
        m_http.server().Get("/icy.mp3",
                            [this](const httplib::Request& request, httplib::Response& response) {
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
    // Stream file `channel` is answered only after Release().
    void Hold(int channel)
    {
        std::lock_guard lock(m_mutex);
        m_heldPath = StreamFile(channel);
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
    // A held answer must go before the members its handler uses.
    ~ContentAndIcyServer()
    {
        Release();
        m_http.Stop();
    }

private:
    LocalHttpServer m_http;
    std::mutex m_mutex;
    std::vector<std::string> m_paths;
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

// Listens for PropertiesChanged of the player object on the client connection.
class ChangeRecorder : public QObject
{
    Q_OBJECT

public:
    bool Listen()
    {
        return Client().connect(kService, kPath, kProperties, QStringLiteral("PropertiesChanged"),
                                this, SLOT(OnChanged(QDBusMessage)));
    }
    ~ChangeRecorder() override
    {
        Client().disconnect(kService, kPath, kProperties, QStringLiteral("PropertiesChanged"), this,
                            SLOT(OnChanged(QDBusMessage)));
    }
    // Each signal's changed properties, as plain values.
    std::vector<QVariantMap> changes;

public Q_SLOTS:
    void OnChanged(const QDBusMessage& message)
    {
        const QList<QVariant> arguments = message.arguments();
        if (arguments.size() == 3 && arguments.at(0).toString() == kPlayer)
            changes.push_back(Plain(arguments.at(1)).toMap());
    }
};

class MprisTest : public WithTestStreams
{
protected:
    void SetUp() override
    {
        if (!SessionBusEnvironment::s_bus)
            GTEST_SKIP() << "no private session bus (is dbus-daemon installed?)";
        if (!s_streams)
            GTEST_SKIP() << "no test streams";
        qputenv("WAVELARK_AUDIO_SINK", "fakesink sync=true");
        QFile mp3(s_streams->FilePath(QStringLiteral("tone.mp3")));
        ASSERT_TRUE(mp3.open(QIODevice::ReadOnly));
        ASSERT_TRUE(m_content.Start(s_streams->Url(QStringLiteral("tone.ogg")), mp3.readAll()));
        m_server =
            std::make_unique<ContentServer>(QByteArray::fromStdString(m_content.Root()), "3.0");
        m_folder.Write(QStringLiteral("Interface/radio.int"), ArchiveWithCatalogue(kCatalogue));
        m_archive = LoadInterfaceArchive(m_folder.FilePath(QStringLiteral("Interface/radio.int")));
    }
    void TearDown() override
    {
        m_window.reset();
        qunsetenv("WAVELARK_AUDIO_SINK");
    }

    // Starts the hidden main window with `channel` saved as the last one, at volume 30.
    CWavelark& Start(const QByteArray& channel)
    {
        if (!channel.isEmpty())
            m_folder.Write(QStringLiteral("channel.dat"), "package0\n" + channel);
        m_folder.Write(QStringLiteral("setting.dat"), "1\n1\n0\n0\n30");
        m_window = std::make_unique<CWavelark>(m_catalogue, m_skin, *m_server, m_archive);
        m_window->SetClock([] { return ClockReading{0, 0}; });
        m_window->OnInitDialog();
        EXPECT_TRUE(Settled());
        return *m_window;
    }

    // Runs the event loop until no request waits for the content server any more.
    bool Settled() const
    {
        const bool settled = WaitUntil([this] { return !m_window->Playback().IsBusy(); }, 20000);
        // What the answer set off after the input at hand (the open window following it).
        QCoreApplication::processEvents();
        return settled;
    }

    // Waits until `count` signals arrived, then for any that should not come: the bus keeps the
    // order of what the player sends, so once the answer to a call sent now is in, so is every
    // signal the player sent before answering it.
    static void SettleChanges(const ChangeRecorder& recorder, size_t count)
    {
        WaitUntil([&] { return recorder.changes.size() >= count; }, 5000);
        QDBusMessage get =
            QDBusMessage::createMethodCall(kService, kPath, kProperties, QStringLiteral("Get"));
        get << kPlayer << QStringLiteral("PlaybackStatus");
        Send(get);
        QCoreApplication::processEvents();
    }

    TempFolder m_folder;
    ContentAndIcyServer m_content;
    std::unique_ptr<ContentServer> m_server;
    InterfaceArchive m_archive;
    Catalogue m_catalogue;
    Skin m_skin;
    std::unique_ptr<CWavelark> m_window;
};

} // namespace mprisfixture
