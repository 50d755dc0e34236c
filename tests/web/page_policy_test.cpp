#include "hosted/web/policy/PagePolicy.h"
#include "support/LocalHttpServer.h"
#include "web/WebTestSupport.h"

#include <QProcessEnvironment>
#include <QUrl>
#include <gtest/gtest.h>
#include <initializer_list>
#include <unistd.h>
#include <utility>

namespace {

constexpr uint kRoot = 0;
constexpr uint kUser = 1000;
constexpr uint kOtherUser = 1001;

QProcessEnvironment Environment(std::initializer_list<std::pair<const char*, const char*>> values)
{
    QProcessEnvironment environment;
    for (const auto& [name, value] : values)
        environment.insert(QString::fromLatin1(name), QString::fromLatin1(value));
    return environment;
}

// A listening socket as the kernel's tables give it, from a written address.
ListeningSocket Listening(const char* address, quint16 port, uint owner)
{
    ListeningSocket socket;
    socket.port = port;
    socket.owner = owner;
    const QByteArray text(address);
    if (text == "::") {
        // all zero
    } else if (text == "::1") {
        socket.address[15] = 1;
    } else {
        const QList<QByteArray> parts = text.split('.');
        socket.address[10] = socket.address[11] = 0xff;
        for (int i = 0; i < 4; ++i)
            socket.address[12 + i] = static_cast<quint8>(parts.value(i).toInt());
    }
    return socket;
}

} // namespace

TEST(PagePolicy, TheSandboxIsOffForRootAndForEveryWayTheEngineIsToldSo)
{
    const struct
    {
        uint uid;
        QProcessEnvironment environment;
        QStringList arguments;
        bool withoutSandbox;
    } cases[] = {
        {kRoot, {}, {}, true},
        {kUser, {}, {}, false},
        {kUser, Environment({{"QTWEBENGINE_DISABLE_SANDBOX", "1"}}), {}, true},
        // Qt asks only whether the variable is set.
        {kUser, Environment({{"QTWEBENGINE_DISABLE_SANDBOX", "0"}}), {}, true},
        {kUser, Environment({{"QTWEBENGINE_DISABLE_SANDBOX", ""}}), {}, true},
        {kUser, Environment({{"QTWEBENGINE_CHROMIUM_FLAGS", "--no-sandbox"}}), {}, true},
        {kUser,
         Environment({{"QTWEBENGINE_CHROMIUM_FLAGS", "--disable-gpu  --no-sandbox"}}),
         {},
         true},
        {kUser, Environment({{"QTWEBENGINE_CHROMIUM_FLAGS", "-no-sandbox"}}), {}, true},
        {kUser, Environment({{"QTWEBENGINE_CHROMIUM_FLAGS", "--no-sandbox=yes"}}), {}, true},
        // The renderer then runs inside the engine's own process.
        {kUser, Environment({{"QTWEBENGINE_CHROMIUM_FLAGS", "--single-process"}}), {}, true},
        {kUser, Environment({{"QTWEBENGINE_CHROMIUM_FLAGS", "--disable-gpu"}}), {}, false},
        {kUser, Environment({{"QTWEBENGINE_CHROMIUM_FLAGS", "--no-sandboxing"}}), {}, false},
        {kUser, Environment({{"QTWEBENGINE_CHROMIUM_FLAGS", "no-sandbox"}}), {}, false},
        {kUser, Environment({{"QTWEBENGINE_SANDBOX", "1"}}), {}, false},
        {kUser,
         {},
         {QStringLiteral("wavelark"), QStringLiteral("--webEngineArgs"),
          QStringLiteral("--no-sandbox")},
         true},
        {kUser, {}, {QStringLiteral("wavelark"), QStringLiteral("--minimized")}, false},
        {kRoot, Environment({{"QTWEBENGINE_DISABLE_SANDBOX", "1"}}), {}, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << "uid " << c.uid << ", environment "
                     << c.environment.toStringList().join(QLatin1Char(' ')).toStdString()
                     << ", arguments " << c.arguments.join(QLatin1Char(' ')).toStdString());
        EXPECT_EQ(PagesRenderWithoutSandbox(c.uid, c.environment, c.arguments), c.withoutSandbox);
    }
}

TEST(PagePolicy, WithoutTheSandboxPagesComeOnlyOverHttpsOrFromThisMachinesOwnServers)
{
    const QProcessEnvironment sandboxOff = Environment({{"QTWEBENGINE_DISABLE_SANDBOX", "0"}});
    const QProcessEnvironment noSandboxFlag =
        Environment({{"QTWEBENGINE_CHROMIUM_FLAGS", "--no-sandbox"}});
    const struct
    {
        uint uid;
        QProcessEnvironment environment;
        const char* address;
        std::vector<ListeningSocket> listeners;
        bool allowed;
    } cases[] = {
        // With the sandbox any page may come.
        {kUser, {}, "http://pages.example/wavelark/", {}, true},
        {kUser, {}, "http://127.0.0.1:8080/", {Listening("127.0.0.1", 8080, kOtherUser)}, true},
        // Without it: https, whatever the listeners.
        {kRoot, {}, "https://pages.example/wavelark/", {}, true},
        {kRoot, {}, "HTTPS://pages.example/", {}, true},
        {kUser, noSandboxFlag, "https://127.0.0.1:8443/", {}, true},
        // Not on this machine, or not the web.
        {kRoot, {}, "http://pages.example/wavelark/", {}, false},
        {kUser, noSandboxFlag, "http://pages.example/", {}, false},
        {kRoot, {}, "http://10.0.0.1/", {Listening("0.0.0.0", 80, kRoot)}, false},
        {kRoot, {}, "http://0.0.0.0:8080/", {Listening("0.0.0.0", 8080, kRoot)}, false},
        {kRoot, {}, "http://127.0.0.1.pages.example/", {Listening("0.0.0.0", 80, kRoot)}, false},
        {kRoot, {}, "http://127.0.0.256/", {Listening("0.0.0.0", 80, kRoot)}, false},
        {kRoot, {}, "ftp://127.0.0.1/", {Listening("127.0.0.1", 21, kRoot)}, false},
        {kRoot, {}, "file:///tmp/page.html", {}, false},
        // On this machine: only a listener of root or of the program's own user.
        {kRoot, {}, "http://127.0.0.1:8080/wavelark/", {Listening("127.0.0.1", 8080, kRoot)}, true},
        {kRoot, {}, "http://127.0.0.1:8080/", {Listening("127.0.0.1", 8080, kUser)}, false},
        {kRoot, {}, "http://127.0.0.1:8080/", {}, false},
        {kRoot, {}, "http://127.0.0.1:8080/", {Listening("127.0.0.1", 8081, kRoot)}, false},
        {kRoot,
         {},
         "http://127.0.0.1:8080/",
         {Listening("127.0.0.1", 8081, kUser), Listening("127.0.0.1", 8080, kRoot)},
         true},
        {kRoot, {}, "http://127.0.0.1:8080/", {Listening("0.0.0.0", 8080, kRoot)}, true},
        {kRoot, {}, "http://127.0.0.1:8080/", {Listening("0.0.0.0", 8080, kUser)}, false},
        {kRoot, {}, "http://127.0.0.1:8080/", {Listening("::", 8080, kUser)}, false},
        {kRoot, {}, "http://127.0.0.1:8080/", {Listening("127.0.0.2", 8080, kRoot)}, false},
        {kRoot,
         {},
         "http://127.0.0.1:8080/",
         {Listening("127.0.0.1", 8080, kRoot), Listening("::", 8080, kUser)},
         false},
        {kRoot, {}, "http://127.1.2.3/", {Listening("0.0.0.0", 80, kRoot)}, true},
        {kRoot, {}, "http://localhost:8080/", {Listening("::1", 8080, kRoot)}, true},
        {kRoot,
         {},
         "http://localhost:8080/",
         {Listening("127.0.0.1", 8080, kRoot), Listening("::1", 8080, kUser)},
         false},
        {kRoot, {}, "http://[::1]:8080/", {Listening("::", 8080, kRoot)}, true},
        {kRoot, {}, "http://[::1]:8080/", {Listening("0.0.0.0", 8080, kRoot)}, false},
        // An unprivileged user without the sandbox: root's servers and the user's own.
        {kUser, sandboxOff, "http://127.0.0.1:8080/", {Listening("127.0.0.1", 8080, kUser)}, true},
        {kUser, sandboxOff, "http://127.0.0.1:8080/", {Listening("127.0.0.1", 8080, kRoot)}, true},
        {kUser,
         sandboxOff,
         "http://127.0.0.1:8080/",
         {Listening("127.0.0.1", 8080, kOtherUser)},
         false},
        {kUser,
         noSandboxFlag,
         "http://127.0.0.1:8080/",
         {Listening("127.0.0.1", 8080, kOtherUser)},
         false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << "uid " << c.uid << ", environment "
                     << c.environment.toStringList().join(QLatin1Char(' ')).toStdString()
                     << ", address " << c.address);
        EXPECT_EQ(PageMayBeShown(QUrl(QString::fromLatin1(c.address)), c.uid, c.environment, {},
                                 c.listeners),
                  c.allowed);
    }
}

TEST(PagePolicy, ReadsListeningSocketsFromTheKernelsTables)
{
    const struct
    {
        const char* line;
        std::optional<ListeningSocket> socket;
    } cases[] = {
        {"  sl  local_address rem_address   st tx_queue rx_queue tr tm->when retrnsmt   uid  "
         "timeout inode",
         std::nullopt},
        {"   0: 0100007F:1F90 00000000:0000 0A 00000000:00000000 00:00000000 00000000     0      "
         "  0 21955 1 0000000000000000 100 0 0 10 0",
         Listening("127.0.0.1", 8080, 0)},
        {"   1: 00000000:0016 00000000:0000 0A 00000000:00000000 00:00000000 00000000  1000      "
         "  0 21956 1 0000000000000000 100 0 0 10 0",
         Listening("0.0.0.0", 22, 1000)},
        // A connection, not a listener.
        {"   2: 0100007F:1F90 0100007F:D431 01 00000000:00000000 00:00000000 00000000     0      "
         "  0 21957 1 0000000000000000 20 4 30 10 -1",
         std::nullopt},
        {"   0: 00000000000000000000000001000000:1F90 00000000000000000000000000000000:0000 0A "
         "00000000:00000000 00:00000000 00000000  1001        0 3001 1 0000000000000000 100 0 0 "
         "10 0",
         Listening("::1", 8080, 1001)},
        {"   1: 00000000000000000000000000000000:0050 00000000000000000000000000000000:0000 0A "
         "00000000:00000000 00:00000000 00000000     0        0 3002 1 0000000000000000 100 0 0 "
         "10 0",
         Listening("::", 80, 0)},
        {"   2: 0000000000000000FFFF00000100007F:1F90 00000000000000000000000000000000:0000 0A "
         "00000000:00000000 00:00000000 00000000  1000        0 3003 1 0000000000000000 100 0 0 "
         "10 0",
         Listening("127.0.0.1", 8080, 1000)},
        // Malformed: no port, a bad digit, an odd length, a missing owner.
        {"   0: 0100007F 00000000:0000 0A 00000000:00000000 00:00000000 00000000 0 0 1",
         std::nullopt},
        {"   0: 0100007G:1F90 00000000:0000 0A 00000000:00000000 00:00000000 00000000 0 0 1",
         std::nullopt},
        {"   0: 0100007:1F90 00000000:0000 0A 00000000:00000000 00:00000000 00000000 0 0 1",
         std::nullopt},
        {"   0: 0100007F:1F90 00000000:0000 0A 00000000:00000000 00:00000000 00000000",
         std::nullopt},
        {"", std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        const std::optional<ListeningSocket> socket = ParseListeningSocket(c.line);
        ASSERT_EQ(socket.has_value(), c.socket.has_value());
        if (socket) {
            EXPECT_EQ(socket->address, c.socket->address);
            EXPECT_EQ(socket->port, c.socket->port);
            EXPECT_EQ(socket->owner, c.socket->owner);
        }
    }
}

TEST(PagePolicy, KnowsWhoseServerListensOnAPortOfThisMachine)
{
    LocalHttpServer own;
    ASSERT_TRUE(own.Start());
    const std::optional<std::vector<ListeningSocket>> sockets = ListeningSocketsHere();
    ASSERT_TRUE(sockets.has_value());
    const ListeningSocket expected =
        Listening("127.0.0.1", static_cast<quint16>(own.Port()), ::geteuid());
    EXPECT_TRUE(std::any_of(sockets->begin(), sockets->end(), [&](const ListeningSocket& s) {
        return s.address == expected.address && s.port == expected.port &&
               s.owner == expected.owner;
    }));
    const QUrl ownPage(QString::fromStdString(own.Root()) + QStringLiteral("wavelark/"));
    EXPECT_TRUE(PageMayBeShownHere(ownPage));

    if (::geteuid() != 0)
        GTEST_SKIP() << "only root can make a socket owned by another user";
    webtest::ForeignListener foreign(65534);
    ASSERT_GT(foreign.Port(), 0);
    EXPECT_FALSE(PageMayBeShownHere(
        QUrl(QStringLiteral("http://127.0.0.1:%1/wavelark/").arg(foreign.Port()))));
    EXPECT_FALSE(PageMayBeShownHere(
        QUrl(QStringLiteral("http://localhost:%1/wavelark/").arg(foreign.Port()))));
}

TEST(PagePolicy, LogLinesShowControlCharactersAsEscapes)
{
    const struct
    {
        QString text;
        QString logged;
    } cases[] = {
        {QStringLiteral("http://127.0.0.1/a b"), QStringLiteral("http://127.0.0.1/a b")},
        {QStringLiteral("\x1b]52;c;QUJD\x07"), QStringLiteral("\\x1B]52;c;QUJD\\x07")},
        {QStringLiteral("line\r\nnext\t\x7f"), QStringLiteral("line\\x0D\\x0Anext\\x09\\x7F")},
        {QString(QChar(0x9b)) + QStringLiteral("31m") + QChar(0xa0),
         QStringLiteral("\\x9B31m") + QChar(0xa0)},
        {QStringLiteral("Zürich ☂"), QStringLiteral("Zürich ☂")},
    };
    for (const auto& c : cases)
        EXPECT_EQ(EscapedForLog(c.text), c.logged) << c.text.toStdString();
}
