#include "support/LocalHttpServer.h"

#include <chrono>

LocalHttpServer::~LocalHttpServer()
{
    Stop();
}

bool LocalHttpServer::Start()
{
    m_port = m_server.bind_to_any_port("127.0.0.1");
    if (m_port <= 0)
        return false;
    m_thread = std::thread([this] { m_server.listen_after_bind(); });
    // Bounded wait until the accept loop runs.
    for (int i = 0; i < 500 && !m_server.is_running(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    return m_server.is_running();
}

void LocalHttpServer::Stop()
{
    if (m_thread.joinable()) {
        m_server.stop();
        m_thread.join();
    }
}

std::string LocalHttpServer::Root() const
{
    return "http://127.0.0.1:" + std::to_string(m_port) + "/";
}
