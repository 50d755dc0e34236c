#pragma once

#include <QByteArray>
#include <QList>
#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// A stream server on 127.0.0.1 written on a plain socket, for what an HTTP library will not do:
// answer "ICY 200 OK" like an old shoutcast server, send a stream paced like a live one, close
// the connection in the middle, or fall silent with the connection left open. Every
// connection gets the current script; each runs on its own thread until it ends or Stop().
class RawStreamServer
{
public:
    struct Script
    {
        // Status line and headers, without the empty line that ends them.
        QByteArray head = "HTTP/1.0 200 OK\r\nContent-Type: audio/mpeg";
        // Sent again and again after the head.
        QByteArray body;
        // Pace of the body; 0 sends it as fast as the client reads.
        int bytesPerSecond = 0;
        // After this many body bytes the connection is closed, or left open without another
        // byte when silentAfterLimit; -1 for no limit.
        qint64 byteLimit = -1;
        bool silentAfterLimit = false;
    };

    RawStreamServer() = default;
    ~RawStreamServer();
    RawStreamServer(const RawStreamServer&) = delete;
    RawStreamServer& operator=(const RawStreamServer&) = delete;

    // Listens on a free port; false when it cannot.
    bool Start();
    // Closes the listening socket and every connection, and waits for their threads.
    void Stop();

    void SetScript(const Script& script);
    int Port() const { return m_port; }
    // "http://127.0.0.1:PORT/"
    std::string Root() const;
    // Requests seen since the start, by path.
    std::vector<std::string> Paths() const;

private:
    void AcceptLoop();
    void Serve(int fd);

    std::atomic<bool> m_stop{false};
    int m_listen = -1;
    int m_port = -1;
    std::thread m_acceptor;
    mutable std::mutex m_mutex;
    Script m_script;
    std::vector<std::string> m_paths;
    std::vector<std::thread> m_connections;
};
