#pragma once

#include "hosted/web/WebPageEngineLoader.h"
#include "support/AddressSanitizer.h"
#include "support/LocalHttpServer.h"
#include "support/Loopback.h"

#include <QApplication>
#include <QEventLoop>
#include <QString>
#include <QTimer>
#include <QWidget>
#include <algorithm>
#include <gtest/gtest.h>
#include <mutex>
#include <string>
#include <sys/fsuid.h>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

// Qt WebEngine's Chromium is not built for AddressSanitizer: in an instrumented process (this
// one, with the plugin) it aborts on new/delete size mismatches inside its own code and leaks at
// exit. The helper program is built uninstrumented, so the engine in its process still runs,
// and so do the wrapper's own paths without an engine.
#ifdef WAVELARK_ASAN
#define SKIP_WHERE_THE_ENGINE_CANNOT_RUN(kind)                                                     \
    if ((kind) == Kind::Plugin)                                                                    \
    GTEST_SKIP() << "Qt WebEngine cannot run in this AddressSanitizer process"
#else
#define SKIP_WHERE_THE_ENGINE_CANNOT_RUN(kind)
#endif

namespace webtest {

constexpr int kWebControlId = 1088;
constexpr int kEngineStartMs = 30000;

using Kind = WebPageEngineLoader::Kind;

inline QString DefaultPath(Kind kind)
{
    return kind == Kind::HelperProcess ? WebPageEngineLoader::DefaultHelperPath()
                                       : WebPageEngineLoader::DefaultPluginPath();
}

inline std::string KindName(const ::testing::TestParamInfo<Kind>& info)
{
    return info.param == Kind::HelperProcess ? "HelperProcess" : "Plugin";
}

// Runs the event loop until `done` holds or `timeoutMs` passes; returns `done()`. Unlike
// WaitUntil it never sleeps between rounds, so an engine running in this process (whose work is
// posted to this thread) goes at its own pace.
template <typename Predicate> bool RunUntil(Predicate done, int timeoutMs)
{
    if (done())
        return true;
    QEventLoop loop;
    QTimer poll;
    poll.setInterval(5);
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (done())
            loop.quit();
    });
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    poll.start();
    loop.exec();
    return done();
}

// The paths a LocalHttpServer was asked for, in order.
class RequestLog
{
public:
    void Add(const std::string& path)
    {
        std::lock_guard lock(m_mutex);
        m_paths.push_back(path);
    }
    bool Has(const std::string& path) const
    {
        std::lock_guard lock(m_mutex);
        return std::find(m_paths.begin(), m_paths.end(), path) != m_paths.end();
    }
    std::vector<std::string> Paths() const
    {
        std::lock_guard lock(m_mutex);
        return m_paths;
    }

private:
    mutable std::mutex m_mutex;
    std::vector<std::string> m_paths;
};

// Serves `html` at `path`, recording every request.
inline void ServeHtml(LocalHttpServer& server, RequestLog& log, const std::string& path,
                      const std::string& html)
{
    server.server().Get(path,
                        [&log, html](const httplib::Request& request, httplib::Response& response) {
                            log.Add(request.path);
                            response.set_content(html, "text/html");
                        });
}

// Records requests nobody else answers (404), of any method.
inline void RecordEverythingElse(LocalHttpServer& server, RequestLog& log)
{
    server.server().set_error_handler(
        [&log](const httplib::Request& request, httplib::Response&) { log.Add(request.path); });
}

inline QString Address(const LocalHttpServer& server, const char* path)
{
    return QString::fromStdString(server.Root()) + QLatin1String(path);
}

// Visible windows other than `window`.
inline int OtherVisibleWindows(const QWidget& window)
{
    const auto windows = QApplication::topLevelWidgets();
    return static_cast<int>(std::count_if(windows.begin(), windows.end(), [&](QWidget* w) {
        return w != &window && w->isVisible();
    }));
}

// A socket listening on 127.0.0.1 on a free port, made as `owner` (the kernel records the
// creator's file-system user as a socket's owner; only root can choose another). Nobody
// accepts on it: a connection waits in its queue, where Connected() sees it.
class ForeignListener
{
public:
    explicit ForeignListener(uid_t owner)
    {
        const int previous = ::setfsuid(owner); // this thread only
        m_socket = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        ::setfsuid(static_cast<uid_t>(previous));
        sockaddr_in address = LoopbackAddress(0);
        socklen_t length = sizeof address;
        if (m_socket < 0 || ::bind(m_socket, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
            ::listen(m_socket, 8) != 0 ||
            ::getsockname(m_socket, reinterpret_cast<sockaddr*>(&address), &length) != 0)
            return;
        m_port = ntohs(address.sin_port);
    }
    ~ForeignListener()
    {
        if (m_socket >= 0)
            ::close(m_socket);
    }
    ForeignListener(const ForeignListener&) = delete;
    ForeignListener& operator=(const ForeignListener&) = delete;

    int Port() const { return m_port; }
    // Whether anyone has connected since.
    bool Connected() const
    {
        const int connection = ::accept4(m_socket, nullptr, nullptr, SOCK_CLOEXEC);
        if (connection < 0)
            return false;
        ::close(connection);
        return true;
    }

private:
    int m_socket = -1;
    int m_port = 0;
};

} // namespace webtest
