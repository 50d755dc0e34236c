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

// The radio fixture with the desktop bus: the program's player object on the private bus.
class MprisTest : public RadioTest
{
protected:
    void SetUp() override
    {
        if (!SessionBusEnvironment::s_bus)
            GTEST_SKIP() << "no private session bus (is dbus-daemon installed?)";
        RadioTest::SetUp();
    }

    // Starts the hidden main window with `channel` saved as the last one, at volume 30.
    CWavelark& Start(const QByteArray& channel)
    {
        if (!channel.isEmpty())
            m_folder.Write(QStringLiteral("channel.dat"), "package0\n" + channel);
        m_folder.Write(QStringLiteral("setting.dat"), "1\n1\n0\n0\n30");
        return RadioTest::Start();
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
};

} // namespace mprisfixture
