#pragma once

// Helpers shared by the fetch tests: a proxy-free environment, a scripted HTTP server on
// 127.0.0.1, sockets that misbehave on purpose, and a stopwatch.

#include "support/LocalHttpServer.h"
#include "support/Loopback.h"

#include <QByteArray>
#include <QString>
#include <QtGlobal>
#include <arpa/inet.h>
#include <atomic>
#include <chrono>
#include <map>
#include <memory>
#include <mutex>
#include <netinet/in.h>
#include <optional>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <utility>
#include <vector>

namespace fetchtest {

// A host name that the resolver rejects without asking any name server: a label longer than 63
// characters cannot be put into a query, so the failure is immediate and nothing leaves the
// machine. The ".invalid" top-level name could never resolve anyway.
inline const QByteArray kUnresolvableHost = QByteArray(70, 'a') + ".invalid";

// Sets or removes an environment variable for the life of the object, then restores it.
class ScopedEnv
{
public:
    ScopedEnv(const char* name, std::optional<QByteArray> value)
        : m_name(name), m_hadValue(qEnvironmentVariableIsSet(name)), m_previous(qgetenv(name))
    {
        if (value)
            qputenv(name, *value);
        else
            qunsetenv(name);
    }
    ~ScopedEnv()
    {
        if (m_hadValue)
            qputenv(m_name, m_previous);
        else
            qunsetenv(m_name);
    }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    const char* m_name;
    bool m_hadValue;
    QByteArray m_previous;
};

// Keeps a proxy configured on a CI machine from routing the test requests away from 127.0.0.1.
class NoProxyEnvironment
{
public:
    NoProxyEnvironment()
    {
        for (const char* name :
             {"http_proxy", "HTTP_PROXY", "https_proxy", "HTTPS_PROXY", "all_proxy", "ALL_PROXY"})
            m_vars.emplace_back(std::make_unique<ScopedEnv>(name, std::nullopt));
        for (const char* name : {"no_proxy", "NO_PROXY"})
            m_vars.emplace_back(
                std::make_unique<ScopedEnv>(name, QByteArray("127.0.0.1,localhost")));
    }

private:
    std::vector<std::unique_ptr<ScopedEnv>> m_vars;
};

// One request as the server saw it.
struct SeenRequest
{
    std::string method;
    std::string path;
    httplib::Headers headers;
    std::string body;
};

// An HTTP server on 127.0.0.1 that answers each path with a scripted status and body, logs every
// request, and answers unknown paths 404 with an empty body.
class ScriptedServer
{
public:
    struct Answer
    {
        int status = 200;
        std::string body;
        std::string location; // sent as Location when not empty
        bool trickle = false; // "3" every 200 ms instead of the body
    };

    ScriptedServer()
    {
        auto handler = [this](const httplib::Request& request, httplib::Response& response) {
            std::lock_guard lock(m_mutex);
            m_seen.push_back({request.method, request.path, request.headers, request.body});
            const auto found = m_answers.find(request.path);
            if (found == m_answers.end()) {
                response.status = 404;
                return;
            }
            response.status = found->second.status;
            if (found->second.trickle) {
                // The handler thread must come free again for Stop(): it gives up when asked
                // to stop, when the client has gone, or after about 15 s at worst.
                response.set_chunked_content_provider(
                    "text/plain", [this](size_t offset, httplib::DataSink& sink) {
                        if (m_stopping || offset > 75 || !sink.write("3", 1))
                            return false;
                        std::this_thread::sleep_for(std::chrono::milliseconds(200));
                        return true;
                    });
                return;
            }
            if (!found->second.location.empty())
                response.set_header("Location", found->second.location);
            response.set_content(found->second.body, "text/plain");
        };
        m_http.server().Get(".*", handler);
        m_http.server().Post(".*", handler);
        m_http.server().Put(".*", handler);
    }

    bool Start() { return m_http.Start(); }
    void Stop()
    {
        m_stopping = true;
        m_http.Stop();
    }
    ~ScriptedServer() { Stop(); }
    ScriptedServer(const ScriptedServer&) = delete;
    ScriptedServer& operator=(const ScriptedServer&) = delete;

    void Set(const std::string& path, Answer answer)
    {
        std::lock_guard lock(m_mutex);
        m_answers[path] = std::move(answer);
    }
    void Set(const std::string& path, int status, std::string body)
    {
        Set(path, Answer{status, std::move(body), {}});
    }

    std::vector<SeenRequest> Seen() const
    {
        std::lock_guard lock(m_mutex);
        return m_seen;
    }
    std::vector<std::string> SeenPaths() const
    {
        std::vector<std::string> paths;
        for (const SeenRequest& request : Seen())
            paths.push_back(request.path);
        return paths;
    }
    void ClearSeen()
    {
        std::lock_guard lock(m_mutex);
        m_seen.clear();
    }

    // "http://127.0.0.1:PORT/"
    QByteArray Root() const { return QByteArray::fromStdString(m_http.Root()); }

private:
    LocalHttpServer m_http;
    mutable std::mutex m_mutex;
    std::map<std::string, Answer> m_answers;
    std::vector<SeenRequest> m_seen;
    std::atomic<bool> m_stopping{false};
};

// A file descriptor closed on destruction.
class OwnedSocket
{
public:
    explicit OwnedSocket(int fd = -1) : m_fd(fd) {}
    ~OwnedSocket()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    OwnedSocket(OwnedSocket&& other) noexcept : m_fd(std::exchange(other.m_fd, -1)) {}
    OwnedSocket(const OwnedSocket&) = delete;
    OwnedSocket& operator=(const OwnedSocket&) = delete;
    OwnedSocket& operator=(OwnedSocket&& other) noexcept
    {
        if (this != &other) {
            if (m_fd >= 0)
                ::close(m_fd);
            m_fd = std::exchange(other.m_fd, -1);
        }
        return *this;
    }
    int get() const { return m_fd; }

private:
    int m_fd;
};

// A socket listening on 127.0.0.1 with an ephemeral port; -1 as port on failure.
inline std::pair<OwnedSocket, int> ListenOnLoopback(int backlog)
{
    OwnedSocket listener(::socket(AF_INET, SOCK_STREAM, 0));
    if (listener.get() < 0)
        return {std::move(listener), -1};
    sockaddr_in address = LoopbackAddress(0);
    if (::bind(listener.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listener.get(), backlog) != 0)
        return {std::move(listener), -1};
    socklen_t length = sizeof address;
    ::getsockname(listener.get(), reinterpret_cast<sockaddr*>(&address), &length);
    return {std::move(listener), ntohs(address.sin_port)};
}

// A port on 127.0.0.1 where nothing listens: bound once, then released.
inline int ClosedPort()
{
    OwnedSocket probe(::socket(AF_INET, SOCK_STREAM, 0));
    sockaddr_in address = LoopbackAddress(0);
    if (::bind(probe.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
        return -1;
    socklen_t length = sizeof address;
    ::getsockname(probe.get(), reinterpret_cast<sockaddr*>(&address), &length);
    return ntohs(address.sin_port);
}

// Accepts connections on 127.0.0.1 and never writes a byte: the server that takes a request and
// never answers. Counts the connections it accepted.
class SilentServer
{
public:
    SilentServer()
    {
        auto [listener, port] = ListenOnLoopback(8);
        m_listener = std::make_unique<OwnedSocket>(std::move(listener));
        m_port = port;
        if (m_port > 0)
            m_thread = std::thread([this] { AcceptLoop(); });
    }
    ~SilentServer()
    {
        m_stop = true;
        if (m_thread.joinable())
            m_thread.join();
    }
    SilentServer(const SilentServer&) = delete;
    SilentServer& operator=(const SilentServer&) = delete;

    int Port() const { return m_port; }
    int Accepted() const { return m_accepted; }

private:
    void AcceptLoop()
    {
        using Clock = std::chrono::steady_clock;
        // Polls in short slices so that the destructor's stop request is seen quickly. A
        // connection is dropped after kGiveUp, so a client without a time-out of its own
        // fails its test instead of hanging it.
        constexpr auto kGiveUp = std::chrono::seconds(15);
        std::vector<std::pair<Clock::time_point, OwnedSocket>> open;
        while (!m_stop) {
            pollfd entry{m_listener->get(), POLLIN, 0};
            if (::poll(&entry, 1, 20) > 0) {
                const int fd = ::accept(m_listener->get(), nullptr, nullptr);
                if (fd >= 0) {
                    open.emplace_back(Clock::now(), OwnedSocket(fd));
                    ++m_accepted;
                }
            }
            std::erase_if(open, [&](const auto& connection) {
                return Clock::now() - connection.first > kGiveUp;
            });
        }
    }

    std::unique_ptr<OwnedSocket> m_listener;
    int m_port = -1;
    std::atomic<bool> m_stop{false};
    std::atomic<int> m_accepted{0};
    std::thread m_thread;
};

// A listening port whose queue of unaccepted connections is already full: the kernel drops every
// further connection request, so a client sees a connect time-out.
class FullBacklogPort
{
public:
    FullBacklogPort()
    {
        auto [listener, port] = ListenOnLoopback(0);
        m_listener = std::make_unique<OwnedSocket>(std::move(listener));
        m_port = port;
        // Fill the queue with connections nobody accepts; non-blocking so that a filler that
        // is itself dropped does not wait.
        for (int i = 0; i < 4 && m_port > 0; ++i) {
            OwnedSocket filler(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0));
            sockaddr_in address = LoopbackAddress(m_port);
            ::connect(filler.get(), reinterpret_cast<sockaddr*>(&address), sizeof address);
            m_fillers.push_back(std::move(filler));
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    int Port() const { return m_port; }

private:
    std::unique_ptr<OwnedSocket> m_listener;
    int m_port = -1;
    std::vector<OwnedSocket> m_fillers;
};

// Milliseconds since construction.
class Stopwatch
{
public:
    qint64 ElapsedMs() const
    {
        return std::chrono::duration_cast<std::chrono::milliseconds>(
                   std::chrono::steady_clock::now() - m_start)
            .count();
    }

private:
    std::chrono::steady_clock::time_point m_start = std::chrono::steady_clock::now();
};

inline QByteArray Address(int port, const char* path)
{
    return "http://127.0.0.1:" + QByteArray::number(port) + path;
}

} // namespace fetchtest
