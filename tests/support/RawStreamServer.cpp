#include "support/RawStreamServer.h"

#include "support/Loopback.h"

#include <chrono>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

// Waits up to `ms` for the socket to allow `events`; false on stop, error or time-out.
bool WaitFor(int fd, short events, int ms)
{
    pollfd p{fd, events, 0};
    return ::poll(&p, 1, ms) > 0 && (p.revents & events) != 0;
}

} // namespace

RawStreamServer::~RawStreamServer()
{
    Stop();
}

bool RawStreamServer::Start()
{
    Stop();
    m_stop = false;
    m_listen = ::socket(AF_INET, SOCK_STREAM, 0);
    if (m_listen < 0)
        return false;
    sockaddr_in address = LoopbackAddress(0);
    socklen_t length = sizeof address;
    if (::bind(m_listen, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(m_listen, 16) != 0 ||
        ::getsockname(m_listen, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        ::close(m_listen);
        m_listen = -1;
        return false;
    }
    m_port = ntohs(address.sin_port);
    m_acceptor = std::thread([this] { AcceptLoop(); });
    return true;
}

void RawStreamServer::Stop()
{
    m_stop = true;
    if (m_acceptor.joinable())
        m_acceptor.join();
    std::vector<std::thread> connections;
    {
        const std::lock_guard lock(m_mutex);
        connections.swap(m_connections);
    }
    for (std::thread& connection : connections)
        connection.join();
    if (m_listen >= 0) {
        ::close(m_listen);
        m_listen = -1;
    }
}

void RawStreamServer::SetScript(const Script& script)
{
    const std::lock_guard lock(m_mutex);
    m_script = script;
}

std::string RawStreamServer::Root() const
{
    return "http://127.0.0.1:" + std::to_string(m_port) + "/";
}

std::vector<std::string> RawStreamServer::Paths() const
{
    const std::lock_guard lock(m_mutex);
    return m_paths;
}

void RawStreamServer::AcceptLoop()
{
    while (!m_stop) {
        if (!WaitFor(m_listen, POLLIN, 50))
            continue;
        const int fd = ::accept(m_listen, nullptr, nullptr);
        if (fd < 0)
            continue;
        const std::lock_guard lock(m_mutex);
        m_connections.emplace_back([this, fd] { Serve(fd); });
    }
}

void RawStreamServer::Serve(int fd)
{
    // The request: up to the empty line, bounded.
    QByteArray request;
    const auto deadline = Clock::now() + std::chrono::seconds(5);
    while (!m_stop && !request.contains("\r\n\r\n") && request.size() < 16384 &&
           Clock::now() < deadline) {
        if (!WaitFor(fd, POLLIN, 50))
            continue;
        char buffer[2048];
        const ssize_t got = ::recv(fd, buffer, sizeof buffer, 0);
        if (got <= 0)
            break;
        request.append(buffer, static_cast<qsizetype>(got));
    }
    Script script;
    {
        const std::lock_guard lock(m_mutex);
        script = m_script;
        const QList<QByteArray> words = request.left(request.indexOf('\r')).split(' ');
        m_paths.push_back(words.value(1).toStdString());
    }
    const QByteArray head = script.head + "\r\n\r\n";
    bool open =
        ::send(fd, head.constData(), static_cast<size_t>(head.size()), MSG_NOSIGNAL) == head.size();
    qint64 sent = 0;
    const auto start = Clock::now();
    while (open && !m_stop && !script.body.isEmpty()) {
        if (script.byteLimit >= 0 && sent >= script.byteLimit) {
            if (!script.silentAfterLimit)
                break;
            // Silent: only notice a client that goes away, or the stop.
            char scratch[256];
            if (WaitFor(fd, POLLIN, 50) && ::recv(fd, scratch, sizeof scratch, 0) <= 0)
                break;
            continue;
        }
        qint64 allowed = 4096;
        if (script.bytesPerSecond > 0) {
            const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
            // A second's worth at once first, as stream servers send a start-up burst.
            allowed = qint64((seconds + 1.0) * script.bytesPerSecond) - sent;
            if (allowed <= 0) {
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
                continue;
            }
        }
        if (script.byteLimit >= 0)
            allowed = std::min(allowed, script.byteLimit - sent);
        const qsizetype at = qsizetype(sent % script.body.size());
        const qsizetype chunk = qsizetype(std::min<qint64>(allowed, script.body.size() - at));
        if (!WaitFor(fd, POLLOUT, 50))
            continue;
        const ssize_t put =
            ::send(fd, script.body.constData() + at, static_cast<size_t>(chunk), MSG_NOSIGNAL);
        if (put <= 0)
            open = false;
        else
            sent += put;
    }
    ::close(fd);
}
