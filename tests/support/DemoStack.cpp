#include "support/DemoStack.h"

#include <QRegularExpression>
#include <chrono>
#include <signal.h>
#include <sys/prctl.h>

namespace {

using Clock = std::chrono::steady_clock;

} // namespace

DemoStack::DemoStack(const QStringList& extraArguments, Ready ready)
{
    m_process.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
    QStringList arguments{
        qEnvironmentVariable("WAVELARK_SOURCE_DIR") + QStringLiteral("/scripts/demo-stack"),
        QStringLiteral("--content-port"),
        QStringLiteral("0"),
        QStringLiteral("--icecast-port"),
        QStringLiteral("0"),
        QStringLiteral("--content-server-bin"),
        qEnvironmentVariable("WAVELARK_BUILD_DIR") + QStringLiteral("/wavelark-content-server")};
    if (ready == Ready::AllMounts)
        arguments += QStringLiteral("--wait-all");
    arguments += extraArguments;
    m_process.start(QStringLiteral("bash"), arguments);
    if (!m_process.waitForStarted(5000))
        return;
    const auto deadline = Clock::now() + std::chrono::seconds(40);
    while (!m_process.canReadLine() && Clock::now() < deadline &&
           m_process.state() == QProcess::Running)
        m_process.waitForReadyRead(100);
    m_line = m_process.readLine();
    const QByteArray prefix = "WAVELARK_CONTENT_SERVER=http://127.0.0.1:";
    if (m_line.startsWith(prefix) && m_line.endsWith("/\n"))
        m_port = m_line.mid(prefix.size()).chopped(2).toInt();
}

DemoStack::~DemoStack()
{
    Stop(SIGTERM);
}

QByteArray DemoStack::Log()
{
    m_log += m_process.readAllStandardError();
    return m_log;
}

QByteArray DemoStack::IcecastBase()
{
    const int port = IcecastPort();
    return port > 0 ? "http://127.0.0.1:" + QByteArray::number(port) : QByteArray();
}

int DemoStack::IcecastPort()
{
    static const QRegularExpression line(QStringLiteral("Icecast on 127\\.0\\.0\\.1:(\\d+)"));
    const QRegularExpressionMatch match = line.match(QString::fromUtf8(Log()));
    return match.hasMatch() ? match.captured(1).toInt() : 0;
}

void DemoStack::Signal(int signal)
{
    if (m_process.state() == QProcess::Running)
        ::kill(static_cast<pid_t>(m_process.processId()), signal);
}

bool DemoStack::WaitForLog(const QByteArray& text, int count, int timeoutMs)
{
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (Log().count(text) < count) {
        if (Clock::now() >= deadline || m_process.state() != QProcess::Running)
            return false;
        m_process.waitForReadyRead(100);
    }
    return true;
}

bool DemoStack::Stop(int signal)
{
    if (m_process.state() == QProcess::NotRunning)
        return true;
    ::kill(static_cast<pid_t>(m_process.processId()), signal);
    if (m_process.waitForFinished(20000))
        return true;
    m_process.kill();
    m_process.waitForFinished(5000);
    return false;
}
