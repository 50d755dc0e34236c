#pragma once

#include <QByteArray>
#include <QProcess>
#include <QStringList>

// One running scripts/demo-stack on free ports (real Icecast, GStreamer feeders and the content
// server), started in the constructor and stopped by the destructor. It dies with the test.
// By default the constructor returns once every mount is live, the HLS stream included (the
// script's --wait-all), since the tests of the stack and of every stream format play them all.
class DemoStack
{
public:
    enum class Ready {
        AllMounts,  // --wait-all
        FirstStart, // the script's own ready line: what a first start needs; HLS follows
    };

    explicit DemoStack(const QStringList& extraArguments = {}, Ready ready = Ready::AllMounts);
    ~DemoStack();
    DemoStack(const DemoStack&) = delete;
    DemoStack& operator=(const DemoStack&) = delete;

    // The content server's port, 0 when the stack did not report ready.
    int Port() const { return m_port; }
    // "http://127.0.0.1:PORT" of Icecast, empty when unknown.
    QByteArray IcecastBase();
    // Icecast's port, 0 when unknown.
    int IcecastPort();
    QByteArray Line() const { return m_line; }
    QProcess& Process() { return m_process; }
    int Pid() { return static_cast<int>(m_process.processId()); }
    // What the script said on stderr so far.
    QByteArray Log();

    // Sends `signal` to the script (SIGUSR1, SIGUSR2 toggle its outages).
    void Signal(int signal);
    // Waits (bounded) until the script's log holds `text` at least `count` times.
    bool WaitForLog(const QByteArray& text, int count, int timeoutMs);

    // Sends the signal and waits (bounded) for the script to end; true when it ended.
    bool Stop(int signal);

private:
    QProcess m_process;
    QByteArray m_line;
    QByteArray m_log;
    int m_port = 0;
};
