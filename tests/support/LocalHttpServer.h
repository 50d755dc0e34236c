#pragma once

#include <httplib.h>
#include <string>
#include <thread>

// A real HTTP server on 127.0.0.1 with an ephemeral port, running on its own thread for the
// life of the object. Tests add their handlers to server() before calling Start().
class LocalHttpServer
{
public:
    LocalHttpServer() = default;
    ~LocalHttpServer();
    LocalHttpServer(const LocalHttpServer&) = delete;
    LocalHttpServer& operator=(const LocalHttpServer&) = delete;

    httplib::Server& server() { return m_server; }

    // Binds to 127.0.0.1 on a free port and starts serving; returns false when it cannot bind.
    bool Start();
    void Stop();

    int Port() const { return m_port; }
    // "http://127.0.0.1:PORT/"
    std::string Root() const;

private:
    httplib::Server m_server;
    std::thread m_thread;
    int m_port = -1;
};
