#include "hosted/web/Explorer.h"
#include "hosted/web/WebPageEngineLoader.h"
#include "support/LocalHttpServer.h"
#include "web/WebTestSupport.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QFile>
#include <QProcess>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>
#include <QWidget>
#include <csignal>
#include <grp.h>
#include <gtest/gtest.h>
#include <mutex>
#include <string>
#include <sys/prctl.h>
#include <unistd.h>

using namespace webtest;

namespace {

// As root the program never starts a browser, so what starts one is seen only as another user.
constexpr uid_t kUnprivilegedUser = 65534;
constexpr int kChildMs = 180000;

// The program's log lines about pages, kept while a test runs.
class PageLog
{
public:
    PageLog() { s_previous = qInstallMessageHandler(&PageLog::Handle); }
    ~PageLog() { qInstallMessageHandler(s_previous); }
    PageLog(const PageLog&) = delete;
    PageLog& operator=(const PageLog&) = delete;

    static QStringList Lines()
    {
        std::lock_guard lock(s_mutex);
        return s_lines;
    }

private:
    static void Handle(QtMsgType type, const QMessageLogContext& context, const QString& text)
    {
        if (context.category && QByteArrayView(context.category) == "wavelark.pages") {
            std::lock_guard lock(s_mutex);
            s_lines.append(text);
        }
        if (s_previous)
            s_previous(type, context, text);
    }

    static inline QtMessageHandler s_previous = nullptr;
    static inline std::mutex s_mutex;
    static inline QStringList s_lines;
};

// Runs the current test again in a process of an unprivileged user and checks that it passed.
void RunAsUnprivilegedUser()
{
    const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
    const QString filter =
        QStringLiteral("--gtest_filter=%1.%2")
            .arg(QString::fromLatin1(test->test_suite_name()), QString::fromLatin1(test->name()));
    QTemporaryDir home;
    ASSERT_TRUE(home.isValid());
    const QByteArray homePath = QFile::encodeName(home.path());
    ASSERT_EQ(::chown(homePath.constData(), kUnprivilegedUser, kUnprivilegedUser), 0);

    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QStringLiteral("GTEST_OUTPUT"));
    environment.insert(QStringLiteral("HOME"), home.path());
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), home.path());
    environment.insert(QStringLiteral("TMPDIR"), home.path());
    QProcess child;
    child.setProcessEnvironment(environment);
    child.setWorkingDirectory(home.path());
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.setChildProcessModifier([] {
        // Never on as root: the test would start itself again.
        if (::setgroups(0, nullptr) != 0 || ::setgid(kUnprivilegedUser) != 0 ||
            ::setuid(kUnprivilegedUser) != 0)
            ::_exit(127);
        ::prctl(PR_SET_PDEATHSIG, SIGKILL); // after the change of user, which clears it
    });
    child.start(QCoreApplication::applicationFilePath(), {filter});
    ASSERT_TRUE(child.waitForStarted(10000)) << child.errorString().toStdString();
    const bool finished = child.waitForFinished(kChildMs);
    if (!finished) {
        child.kill();
        child.waitForFinished(5000);
    }
    const std::string output = child.readAll().toStdString();
    ASSERT_TRUE(finished) << "the test as user " << kUnprivilegedUser << " did not end:\n"
                          << output;
    EXPECT_EQ(child.exitStatus(), QProcess::NormalExit) << output;
    EXPECT_EQ(child.exitCode(), 0) << "the test as user " << kUnprivilegedUser << " failed:\n"
                                   << output;
}

// Notes the addresses the program asks the desktop to open.
class BrowserStartRecorder : public QObject
{
    Q_OBJECT

public:
    QStringList Opened() const { return m_opened; }

public Q_SLOTS:
    void Open(const QUrl& url) { m_opened.append(url.toString()); }

private:
    QStringList m_opened;
};

// The widget the engine draws the page into, which takes the user's clicks.
QWidget* PageSurface(QWidget& explorer)
{
    for (QWidget* widget : explorer.findChildren<QWidget*>()) {
        if (widget->inherits("QWebEngineView") && widget->focusProxy())
            return widget->focusProxy();
    }
    return nullptr;
}

} // namespace

TEST(BrowserStarts, OnlyOnTheUsersClickAndAtMostOnceASecond)
{
    SKIP_WHERE_THE_ENGINE_CANNOT_RUN(Kind::Plugin);
    if (::geteuid() == 0) {
        RunAsUnprivilegedUser();
        return;
    }
    PageLog pageLog;
    // What the program hands to the desktop to open in the user's browser.
    BrowserStartRecorder browser;
    QDesktopServices::setUrlHandler(QStringLiteral("http"), &browser, "Open");
    const auto removeHandler =
        qScopeGuard([] { QDesktopServices::unsetUrlHandler(QStringLiteral("http")); });

    RequestLog elsewhereLog;
    LocalHttpServer elsewhere;
    RecordEverythingElse(elsewhere, elsewhereLog);
    ASSERT_TRUE(elsewhere.Start());
    const std::string other = elsewhere.Root();
    // Each page tells its own server when it has had time to leave (set first: a navigation
    // that starts stops the page's parsing).
    const std::string done = R"(<script>
setTimeout(function () { new Image().src = "/done" + location.pathname; }, 500);
</script>)";
    RequestLog log;
    LocalHttpServer server;
    ServeHtml(server, log, "/meta.php",
              R"(<!DOCTYPE html><html><head><meta http-equiv="refresh" content="0; url=)" + other +
                  R"(meta"></head><body>)" + done + "</body></html>");
    server.server().Get("/redirect.php",
                        [&](const httplib::Request& request, httplib::Response& response) {
                            log.Add(request.path);
                            response.set_redirect(other + "redirect");
                        });
    ServeHtml(server, log, "/script.php",
              "<!DOCTYPE html><html><body>" + done + R"(<script>location.href = ")" + other +
                  R"(script";</script></body></html>)");
    ServeHtml(server, log, "/popup.php",
              "<!DOCTYPE html><html><body>" + done + R"(<script>window.open(")" + other +
                  R"(popup");</script></body></html>)");
    // One link over the whole page; it tells the server when it has been drawn.
    ServeHtml(server, log, "/click.php",
              R"(<!DOCTYPE html><html><body><a href=")" + other +
                  R"(clicked" style="position: fixed; inset: 0; display: block">away</a>
<script>requestAnimationFrame(function () {
  setTimeout(function () { new Image().src = "/drawn"; }, 100);
});</script></body></html>)");
    RecordEverythingElse(server, log);
    ASSERT_TRUE(server.Start());

    WebPageEngineLoader loader(Kind::Plugin, WebPageEngineLoader::DefaultPluginPath());
    QWidget window;
    window.resize(900, 700);
    window.show();
    CExplorer explorer(nullptr, &loader);
    ASSERT_TRUE(explorer.Create(QRect(10, 10, 600, 400), &window, kWebControlId));

    // Nobody clicks: a refresh, a redirect, a script and a window each try to leave.
    for (const char* page : {"meta.php", "redirect.php", "script.php", "popup.php"}) {
        SCOPED_TRACE(page);
        explorer.Navigate(Address(server, page));
        const std::string path = std::string("/") + page;
        ASSERT_TRUE(RunUntil([&] { return log.Has(path); }, kEngineStartMs));
        if (path != "/redirect.php") {
            ASSERT_TRUE(RunUntil([&] { return log.Has("/done" + path); }, kEngineStartMs))
                << "the page did not stay to finish its script";
        }
    }

    // The user clicks a link, twice in a row.
    explorer.Navigate(Address(server, "click.php"));
    ASSERT_TRUE(RunUntil([&] { return log.Has("/drawn"); }, kEngineStartMs));
    QWidget* surface = PageSurface(explorer);
    ASSERT_NE(surface, nullptr);
    QTest::mouseClick(surface, Qt::LeftButton, {}, surface->rect().center());
    QTest::mouseClick(surface, Qt::LeftButton, {}, surface->rect().center());
    const QStringList clicked{QString::fromStdString(other) + QStringLiteral("clicked")};
    EXPECT_TRUE(RunUntil([&] { return !browser.Opened().isEmpty(); }, kEngineStartMs))
        << "the clicked link did not start the browser";
    // A second browser would have been started well within this.
    RunUntil([] { return false; }, 1000);
    EXPECT_EQ(browser.Opened(), clicked) << "the browser was started for more than the one click: "
                                         << browser.Opened().join(QLatin1Char(' ')).toStdString();
    for (const std::string& path : elsewhereLog.Paths())
        ADD_FAILURE() << "the view itself asked the other server for " << path;

    // The refusals are logged (once per kind: the engine reports the refresh and the script,
    // which runs while its page loads, as redirects). A window nobody clicked for is stopped by
    // the engine's own popup blocker before the program hears of it.
    const QStringList lines = PageLog::Lines();
    EXPECT_TRUE(std::any_of(lines.begin(), lines.end(), [&](const QString& line) {
        return line.contains(QLatin1String("refused to leave")) &&
               line.contains(QLatin1String("nobody clicked"));
    })) << lines.join(QLatin1Char('\n')).toStdString();
}

#include "browser_start_test.moc"
