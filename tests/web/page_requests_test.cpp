#include "hosted/web/Explorer.h"
#include "hosted/web/WebPageEngineLoader.h"
#include "support/LocalHttpServer.h"
#include "web/WebTestSupport.h"

#include <QWidget>
#include <gtest/gtest.h>
#include <string>
#include <unistd.h>

using namespace webtest;

namespace {

// Ways a page makes the engine ask a server for something. In `markup`, {URL} stands for an
// address (an http one, or the same as ws:// where {WS} stands), {N} for a number of its own.
//
// Not here: a request that the page's own server redirects elsewhere. The engine (Qt 6.4)
// follows such a redirect before it asks the filter, which then only cuts the answer short; the
// page's own server is the one the program chose to trust.
struct RequestKind
{
    const char* name;
    const char* markup;
};

const RequestKind kRequestKinds[] = {
    {"script", R"html(<script src="{URL}"></script>)html"},
    {"stylesheet", R"html(<link rel="stylesheet" href="{URL}">)html"},
    {"css-import", R"html(<style>@import url("{URL}");</style>)html"},
    {"image", R"html(<img src="{URL}">)html"},
    {"css-image",
     R"html(<div style="width:8px;height:8px;background-image:url('{URL}')"></div>)html"},
    {"font",
     R"html(<style>@font-face { font-family: f{N}; src: url("{URL}"); }</style><p style="font-family: f{N}">text</p>)html"},
    {"audio", R"html(<audio src="{URL}" preload="auto"></audio>)html"},
    {"video-poster", R"html(<video poster="{URL}" width="8" height="8"></video>)html"},
    {"object", R"html(<object data="{URL}" width="8" height="8"></object>)html"},
    {"fetch", R"html(<script>fetch("{URL}").catch(function () {});</script>)html"},
    {"xhr",
     R"html(<script>var x{N} = new XMLHttpRequest(); x{N}.open("GET", "{URL}"); x{N}.send();</script>)html"},
    {"websocket", R"html(<script>try { new WebSocket("{WS}"); } catch (e) {}</script>)html"},
    {"beacon", R"html(<script>navigator.sendBeacon("{URL}", "data");</script>)html"},
    {"event-source", R"html(<script>new EventSource("{URL}");</script>)html"},
    {"frame", R"html(<iframe src="{URL}" width="8" height="8"></iframe>)html"},
    {"data-frame",
     R"html(<iframe src="data:text/html,%3Cscript%3Efetch(%22{URL}%22).catch(function(){})%3C/script%3E%3Cimg src=%22{URL}i%22%3E"></iframe>)html"},
    {"srcdoc-frame",
     R"html(<iframe srcdoc="&lt;script&gt;fetch('{URL}').catch(function(){})&lt;/script&gt;&lt;img src='{URL}i'&gt;"></iframe>)html"},
};

std::string Replaced(std::string text, const std::string& from, const std::string& to)
{
    for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
}

// The kind's markup aimed at `base` + its name.
std::string Markup(const RequestKind& kind, const std::string& base, int number)
{
    const std::string url = base + kind.name;
    std::string markup = Replaced(kind.markup, "{URL}", url);
    markup = Replaced(markup, "{WS}", Replaced(url, "http://", "ws://"));
    return Replaced(markup, "{N}", std::to_string(number));
}

// One engine and two servers for the whole suite: the page's own server, and another on this
// machine that no page may reach.
class PageRequests : public ::testing::TestWithParam<Kind>
{
protected:
    void SetUp() override
    {
        SKIP_WHERE_THE_ENGINE_CANNOT_RUN(GetParam());
        RecordEverythingElse(m_elsewhere, m_elsewhereLog);
        ASSERT_TRUE(m_elsewhere.Start());
        // Every kind is asked for twice: at the other server, and (so that the test knows the
        // page really asked) at its own server, after the other. The own server's address is
        // known only once it runs, so each page is written when it is asked for.
        int number = 0;
        for (const RequestKind& kind : kRequestKinds) {
            m_own.server().Get(
                std::string("/") + kind.name + ".php",
                [this, &kind, number](const httplib::Request& request,
                                      httplib::Response& response) {
                    m_ownLog.Add(request.path);
                    const std::string own = m_own.Root();
                    response.set_content(
                        "<!DOCTYPE html><html><body>" + Markup(kind, m_elsewhere.Root(), number) +
                            Markup(kind, own + "own/", number + 1) + "</body></html>",
                        "text/html");
                });
            number += 2;
        }
        RecordEverythingElse(m_own, m_ownLog);
        ASSERT_TRUE(m_own.Start());
        m_window.resize(900, 700);
        m_window.show();
        ASSERT_TRUE(m_explorer.Create(QRect(10, 10, 600, 400), &m_window, kWebControlId));
    }

    // The page that asks for `kind`.
    QString PageOf(const RequestKind& kind) const
    {
        return Address(m_own, kind.name) + QLatin1String(".php");
    }

    // Declared before the servers, so they outlive their handler threads.
    RequestLog m_ownLog;
    RequestLog m_elsewhereLog;
    LocalHttpServer m_own;
    LocalHttpServer m_elsewhere;
    WebPageEngineLoader m_loader{GetParam(), DefaultPath(GetParam())};
    QWidget m_window;
    CExplorer m_explorer{nullptr, &m_loader};
};

INSTANTIATE_TEST_SUITE_P(WebBrowserWrapper, PageRequests,
                         ::testing::Values(Kind::HelperProcess, Kind::Plugin), KindName);

TEST_P(PageRequests, EveryRequestOfAPageStaysOnItsOwnServer)
{
    for (const RequestKind& kind : kRequestKinds) {
        SCOPED_TRACE(kind.name);
        m_explorer.Navigate(PageOf(kind));
        EXPECT_TRUE(RunUntil([&] { return m_ownLog.Has(std::string("/own/") + kind.name); },
                             kEngineStartMs))
            << "the page did not ask its own server, so it proves nothing";
    }
    // Any request to the other server was sent before the page's last one to its own.
    RunUntil([] { return false; }, 300);
    for (const RequestKind& kind : kRequestKinds) {
        SCOPED_TRACE(kind.name);
        EXPECT_FALSE(m_elsewhereLog.Has(std::string("/") + kind.name));
        EXPECT_FALSE(m_elsewhereLog.Has(std::string("/") + kind.name + "i"));
    }
    for (const std::string& path : m_elsewhereLog.Paths())
        ADD_FAILURE() << "the other server was asked for " << path;
}

TEST_P(PageRequests, WithoutTheSandboxNoPageComesFromAnotherUsersServer)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "the engine has its sandbox, and only root can make another's socket";
    ForeignListener foreign(65534);
    ASSERT_GT(foreign.Port(), 0);
    m_explorer.Navigate(QStringLiteral("http://127.0.0.1:%1/wavelark/").arg(foreign.Port()));
    // The view takes the next page from a server of its own user.
    m_explorer.Navigate(PageOf(kRequestKinds[0]));
    ASSERT_TRUE(RunUntil([&] { return m_ownLog.Has("/script.php"); }, kEngineStartMs));
    EXPECT_FALSE(foreign.Connected()) << "the engine went to a server another user runs";
}

} // namespace
