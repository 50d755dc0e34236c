#include "support/PrivateSessionBus.h"

#include <QDeadlineTimer>
#include <csignal>
#include <sys/prctl.h>

PrivateSessionBus::~PrivateSessionBus()
{
    Stop();
}

bool PrivateSessionBus::Start()
{
    if (!m_dir.isValid())
        return false;
    m_daemon.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
    m_daemon.setProcessChannelMode(QProcess::SeparateChannels);
    m_daemon.start(QStringLiteral("dbus-daemon"),
                   {QStringLiteral("--session"), QStringLiteral("--nofork"),
                    QStringLiteral("--nopidfile"), QStringLiteral("--print-address=1"),
                    QStringLiteral("--address=unix:dir=") + m_dir.path()});
    if (!m_daemon.waitForStarted(5000))
        return false;
    const QDeadlineTimer deadline(5000);
    while (!m_daemon.canReadLine() && !deadline.hasExpired() &&
           m_daemon.state() == QProcess::Running)
        m_daemon.waitForReadyRead(100);
    m_address = QString::fromUtf8(m_daemon.readLine()).trimmed();
    if (m_address.isEmpty()) {
        Stop();
        return false;
    }
    return true;
}

void PrivateSessionBus::Stop()
{
    if (m_daemon.state() == QProcess::NotRunning)
        return;
    m_daemon.terminate();
    if (!m_daemon.waitForFinished(5000)) {
        m_daemon.kill();
        m_daemon.waitForFinished(5000);
    }
}
