#include "hosted/web/Explorer.h"
#include "hosted/web/HelperPageView.h"
#include "hosted/web/Radio_explorer.h"
#include "hosted/web/WebPageEngineLoader.h"
#include "support/LocalHttpServer.h"
#include "support/TempFolder.h"
#include "support/Wait.h"
#include "ui/DialogUnits.h"
#include "web/WebTestSupport.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QWidget>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <future>
#include <gtest/gtest.h>
#include <mutex>
#include <string>
#include <unistd.h>
#include <vector>

using namespace webtest;

namespace {

// Runs before main: the engine must find its own way as root, so nothing set by hand may help
// it; and on the offscreen platform a display variable would send it to GLX instead.
const bool g_environmentCleared = [] {
    unsetenv("QTWEBENGINE_DISABLE_SANDBOX");
    unsetenv("QTWEBENGINE_CHROMIUM_FLAGS");
    const char* platform = std::getenv("QT_QPA_PLATFORM");
    if (!platform || std::string(platform) == "offscreen")
        unsetenv("DISPLAY");
    return true;
}();

bool EngineLibraryLoaded()
{
    QFile maps(QStringLiteral("/proc/self/maps"));
    return maps.open(QIODevice::ReadOnly) && maps.readAll().contains("libQt6WebEngineCore");
}

// Children of this process that run the page helper program.
std::vector<int> HelperProcesses()
{
    std::vector<int> found;
    const QStringList entries = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs);
    for (const QString& entry : entries) {
        bool isPid = false;
        const int pid = entry.toInt(&isPid);
        QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
        if (!isPid || !stat.open(QIODevice::ReadOnly))
            continue;
        const QByteArray line = stat.readAll();
        const qsizetype close = line.lastIndexOf(')');
        const QList<QByteArray> fields = line.mid(close + 2).split(' ');
        if (fields.size() > 1 && fields[1].toInt() == ::getpid() &&
            line.contains("(wavelark-webvie"))
            found.push_back(pid);
    }
    return found;
}

bool ProcessExists(int pid)
{
    // A zombie counts as gone: only its exit status is left.
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return false;
    const QByteArray line = stat.readAll();
    return line.mid(line.lastIndexOf(')') + 2, 1) != "Z";
}

} // namespace

TEST(WebBrowserWrapper, CreatesTheViewOnlyAtCreateAndCanBeFoundByItsId)
{
    // The program's choice of engine for this display; offscreen that is the plugin.
    SKIP_WHERE_THE_ENGINE_CANNOT_RUN(Kind::Plugin);
    const std::unique_ptr<WebPageEngineLoader> loader = WebPageEngineLoader::ForThisDisplay();
    QWidget window;
    window.resize(900, 700);
    auto* explorer = new CRadio_explorer(&window, loader.get());
    EXPECT_FALSE(explorer->Exists());
    EXPECT_TRUE(explorer->findChildren<QWidget*>().isEmpty());
    EXPECT_FALSE(EngineLibraryLoaded()) << "a wrapper must cost nothing before its first page";
    window.show();

    const QRect rect(345, 46, 545, 640);
    ASSERT_TRUE(explorer->Create(rect, &window, kWebControlId))
        << loader->LastError().toStdString();
    EXPECT_TRUE(explorer->Exists());
    // The program's own choice of engine: a helper process on X11, a plugin elsewhere.
    EXPECT_TRUE(EngineLibraryLoaded() || !HelperProcesses().empty());
    EXPECT_EQ(FindControl(&window, kWebControlId), explorer);
    EXPECT_EQ(explorer->geometry(), rect);
    EXPECT_TRUE(explorer->isVisible());
    const auto children = explorer->findChildren<QWidget*>();
    EXPECT_FALSE(children.isEmpty());

    // Later pages reuse the view where it is.
    EXPECT_TRUE(explorer->Create(QRect(0, 0, 10, 10), &window, kWebControlId));
    EXPECT_EQ(explorer->geometry(), rect);
    EXPECT_EQ(explorer->findChildren<QWidget*>(), children);
}

TEST(WebBrowserWrapper, WithoutAnEngineMakesNoViewAndNavigatesNowhere)
{
    QWidget window;
    auto* explorer = new CExplorer(&window);
    EXPECT_FALSE(explorer->Create(QRect(0, 0, 100, 100), &window, kWebControlId));
    EXPECT_FALSE(explorer->Exists());
    EXPECT_FALSE(explorer->isVisible());
    explorer->Navigate(QStringLiteral("http://127.0.0.1:9/"));
    EXPECT_TRUE(explorer->findChildren<QWidget*>().isEmpty());
}

// Both ways of running the engine: in a helper process (the program's choice on X11) and as a
// plugin in this process (elsewhere).
class EngineKinds : public ::testing::TestWithParam<Kind>
{
protected:
    WebPageEngineLoader m_loader{GetParam(), DefaultPath(GetParam())};
};

INSTANTIATE_TEST_SUITE_P(WebBrowserWrapper, EngineKinds,
                         ::testing::Values(Kind::HelperProcess, Kind::Plugin), KindName);

TEST_P(EngineKinds, NavigateReturnsAtOnceAndTheServerSeesTheRequest)
{
    SKIP_WHERE_THE_ENGINE_CANNOT_RUN(GetParam());
    const bool sandboxVariableWasSet = qEnvironmentVariableIsSet("QTWEBENGINE_DISABLE_SANDBOX");
    // Declared before the server, so they outlive its handler thread.
    RequestLog log;
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    std::atomic<bool> asked{false};
    LocalHttpServer server;
    // The page is held back until the test lets it go: Navigate must have returned long before.
    server.server().Get(
        "/held.php", [&](const httplib::Request& request, httplib::Response& response) {
            log.Add(request.path);
            asked = true;
            released.wait_for(std::chrono::seconds(10));
            response.set_content("<html><body><p>held</p></body></html>", "text/html");
        });
    ASSERT_TRUE(server.Start());

    QWidget window;
    window.resize(900, 700);
    window.show();
    CExplorer explorer(nullptr, &m_loader);
    explorer.Navigate(Address(server, "held.php")); // before Create: nothing happens
    ASSERT_TRUE(explorer.Create(QRect(10, 10, 600, 400), &window, kWebControlId));

    // As root the program switched the sandbox off by itself, and only then; a helper gets
    // that in its own environment only.
    // (When all tests share one process, an earlier plugin test may have set it already.)
    if (::geteuid() == 0 && GetParam() == Kind::Plugin) {
        EXPECT_EQ(qgetenv("QTWEBENGINE_DISABLE_SANDBOX"), "1");
    } else if (!sandboxVariableWasSet) {
        EXPECT_FALSE(qEnvironmentVariableIsSet("QTWEBENGINE_DISABLE_SANDBOX"));
    }

    const auto before = std::chrono::steady_clock::now();
    explorer.Navigate(Address(server, "held.php"));
    const auto took = std::chrono::steady_clock::now() - before;
    EXPECT_LT(took, std::chrono::seconds(2));
    EXPECT_FALSE(asked.load()) << "Navigate waited for the network";

    EXPECT_TRUE(WaitUntil([&] { return asked.load(); }, kEngineStartMs))
        << "the server never saw the page's request";
    release.set_value();
    EXPECT_TRUE(log.Has("/held.php"));
}

TEST_P(EngineKinds, APageAskingForNewWindowsGetsNone)
{
    SKIP_WHERE_THE_ENGINE_CANNOT_RUN(GetParam());
    RequestLog log; // outlives the server's handler thread
    LocalHttpServer server;
    // Asks for windows three ways, then tells the server it got that far.
    ServeHtml(server, log, "/popups.php", R"(<!DOCTYPE html><html><body>
<a id="blank" href="/from-link" target="_blank">new window</a>
<form id="form" action="/from-form" target="_blank"></form>
<script>
window.open('/from-open');
document.getElementById('blank').click();
document.getElementById('form').submit();
setTimeout(function () { new Image().src = '/done'; }, 300);
</script></body></html>)");
    RecordEverythingElse(server, log);
    ASSERT_TRUE(server.Start());

    QWidget window;
    window.resize(900, 700);
    window.show();
    CRadio_explorer explorer(nullptr, &m_loader);
    ASSERT_TRUE(explorer.Create(QRect(10, 10, 600, 400), &window, kWebControlId));
    explorer.Navigate(Address(server, "popups.php"));
    ASSERT_TRUE(WaitUntil([&] { return log.Has("/done"); }, kEngineStartMs));
    QTest::qWait(300); // give a new window time to ask for its page

    EXPECT_TRUE(log.Has("/popups.php"));
    for (const char* path : {"/from-open", "/from-link", "/from-form"}) {
        SCOPED_TRACE(path);
        EXPECT_FALSE(log.Has(path));
    }
    EXPECT_EQ(OtherVisibleWindows(window), 0);
}

TEST_P(EngineKinds, APageNeverTakesTheViewToAnotherServer)
{
    SKIP_WHERE_THE_ENGINE_CANNOT_RUN(GetParam());
    RequestLog elsewhereLog;
    LocalHttpServer elsewhere; // another port: another origin
    RecordEverythingElse(elsewhere, elsewhereLog);
    ASSERT_TRUE(elsewhere.Start());

    // Tries to leave three ways, one after the other, then tells its own server it got that far.
    // As root (as the tests run here) nothing is handed to a browser either.
    const std::string other = elsewhere.Root();
    RequestLog log;
    LocalHttpServer server;
    ServeHtml(server, log, "/leaving.php",
              R"(<!DOCTYPE html><html><body>
<a id="away" href=")" +
                  other + R"(link">away</a>
<form id="form" action=")" +
                  other + R"(form"></form>
<script>
window.open(')" + other +
                  R"(open');
document.getElementById('away').click();
setTimeout(function () { document.getElementById('form').submit(); }, 100);
setTimeout(function () { location.href = ')" +
                  other + R"(script'; }, 200);
setTimeout(function () { new Image().src = '/done'; }, 400);
</script></body></html>)");
    RecordEverythingElse(server, log);
    ASSERT_TRUE(server.Start());

    QWidget window;
    window.resize(900, 700);
    window.show();
    CRadio_explorer explorer(nullptr, &m_loader);
    ASSERT_TRUE(explorer.Create(QRect(10, 10, 600, 400), &window, kWebControlId));
    explorer.Navigate(Address(server, "leaving.php"));
    ASSERT_TRUE(WaitUntil([&] { return log.Has("/done"); }, kEngineStartMs))
        << "the page did not stay to finish its script";
    // Any request to the other server would have been sent well before the page's last one.
    QTest::qWait(300);
    for (const char* path : {"/link", "/form", "/open", "/script"}) {
        SCOPED_TRACE(path);
        EXPECT_FALSE(elsewhereLog.Has(path));
    }
    EXPECT_EQ(OtherVisibleWindows(window), 0);
}

TEST(WebBrowserWrapper, CreateFailsCleanlyWithoutTheEngine)
{
    const bool engineWasLoaded = EngineLibraryLoaded(); // when all tests share one process
    TempFolder folder;
    folder.Write(QStringLiteral("libwavelark_webengine.so"), "this is not a shared library\n");
    const QString notAPlugin = folder.FilePath(QStringLiteral("libwavelark_webengine.so"));

    folder.Write(QStringLiteral("wavelark-webview"), "not a program\n");
    const QString notAProgram = folder.FilePath(QStringLiteral("wavelark-webview"));
    const struct
    {
        Kind kind;
        QString path;
    } cases[] = {
        {Kind::Plugin, folder.FilePath(QStringLiteral("missing.so"))},
        {Kind::Plugin, notAPlugin},
        {Kind::HelperProcess, folder.FilePath(QStringLiteral("missing"))},
        {Kind::HelperProcess, notAProgram}, // not executable
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path.toStdString());
        WebPageEngineLoader loader(c.kind, c.path);
        QWidget window;
        window.show();
        auto* explorer = new CExplorer(&window, &loader);
        EXPECT_FALSE(explorer->Create(QRect(10, 10, 300, 200), &window, kWebControlId));
        EXPECT_FALSE(explorer->Exists());
        EXPECT_FALSE(explorer->isVisible());
        EXPECT_EQ(FindControl(&window, kWebControlId), nullptr);
        explorer->Navigate(QStringLiteral("http://127.0.0.1:1/")); // harmless
        EXPECT_FALSE(loader.LastError().isEmpty());
    }
    if (!engineWasLoaded) {
        EXPECT_FALSE(EngineLibraryLoaded());
    }
}

TEST(WebBrowserWrapper, TheHelperProcessEndsWithTheView)
{
    SKIP_WHERE_THE_ENGINE_CANNOT_RUN(Kind::HelperProcess);
    const bool engineWasLoaded = EngineLibraryLoaded(); // when all tests share one process
    RequestLog log;                                     // outlives the server's handler thread
    LocalHttpServer server;
    ServeHtml(server, log, "/index.php", "<html><body><p>page</p></body></html>");
    ASSERT_TRUE(server.Start());

    WebPageEngineLoader loader(Kind::HelperProcess, WebPageEngineLoader::DefaultHelperPath());
    auto window = std::make_unique<QWidget>();
    window->resize(900, 700);
    window->show();
    auto* explorer = new CRadio_explorer(window.get(), &loader);
    ASSERT_TRUE(explorer->Create(QRect(10, 10, 600, 400), window.get(), kWebControlId));
    explorer->Navigate(Address(server, "index.php"));
    ASSERT_TRUE(WaitUntil([&] { return log.Has("/index.php"); }, kEngineStartMs));
    if (!engineWasLoaded) {
        EXPECT_FALSE(EngineLibraryLoaded()) << "the engine belongs in the helper process";
    }
    const std::vector<int> helpers = HelperProcesses();
    ASSERT_EQ(helpers.size(), 1u);

    window.reset(); // as the radio window is destroyed on Hide
    EXPECT_TRUE(WaitUntil([&] { return !ProcessExists(helpers[0]); }, 10000))
        << "the page helper outlived its view";
}

TEST(WebBrowserWrapper, TheHelperDrawsIntoTheViewsWindowWhereverTheWrapperWasMade)
{
    SKIP_WHERE_THE_ENGINE_CANNOT_RUN(Kind::HelperProcess);
    // The radio window makes its wrapper without a parent and gives it one in Create; the
    // helper is told the view's window id once, so that window must survive the move.
    const struct
    {
        const char* name;
        bool parentFirst;
    } cases[] = {{"made inside the window", true}, {"made without a parent", false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        WebPageEngineLoader loader(Kind::HelperProcess, WebPageEngineLoader::DefaultHelperPath());
        QWidget window;
        window.resize(900, 700);
        window.show();
        auto* explorer = new CExplorer(c.parentFirst ? &window : nullptr, &loader);
        ASSERT_TRUE(explorer->Create(QRect(10, 10, 600, 400), &window, kWebControlId));
        EXPECT_EQ(explorer->parentWidget(), &window);
        auto* view = explorer->findChild<HelperPageView*>();
        ASSERT_NE(view, nullptr);
        // Until the started process has replaced itself with the helper, its command line is
        // this test's own.
        QList<QByteArray> arguments;
        const auto helperArguments = [&] {
            QFile commandLine(QStringLiteral("/proc/%1/cmdline").arg(view->HelperProcessId()));
            if (!commandLine.open(QIODevice::ReadOnly))
                return false;
            arguments = commandLine.readAll().split('\0');
            return arguments.contains("--embed-into");
        };
        ASSERT_TRUE(WaitUntil(helperArguments, 10000));
        const qsizetype at = arguments.indexOf("--embed-into");
        ASSERT_GE(at, 0);
        ASSERT_LT(at + 1, arguments.size());
        EXPECT_EQ(arguments[at + 1].toULongLong(), view->internalWinId())
            << "the helper was given a window the view no longer has";
    }
}
