#include "radio/TitleNotifier.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QLoggingCategory>
#include <QVariantMap>

Q_LOGGING_CATEGORY(lcNotify, "wavelark.notify")

TitleNotifier::TitleNotifier(QDBusConnection bus, QObject* parent)
    : QObject(parent), m_bus(std::move(bus)),
      m_clock([] { return std::chrono::steady_clock::now(); })
{
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, &TitleNotifier::SendDue);
}

void TitleNotifier::SetEnabled(bool enabled)
{
    m_enabled = enabled;
    if (!enabled) {
        m_waiting.reset();
        m_timer.stop();
    }
}

void TitleNotifier::Offer(const QString& title, const QString& channel)
{
    if (!m_enabled)
        return;
    if (title.isEmpty() || title == channel) {
        // The station names itself between songs: nothing new to tell, and an older title
        // still waiting is no longer what plays.
        m_waiting.reset();
        return;
    }
    const auto now = m_clock();
    if (!m_sentAt || now - *m_sentAt >= kInterval) {
        m_waiting.reset();
        Send(title, channel);
        return;
    }
    m_waiting = std::make_pair(title, channel);
    if (!m_timer.isActive())
        m_timer.start(std::chrono::ceil<std::chrono::milliseconds>(kInterval - (now - *m_sentAt)));
}

void TitleNotifier::SendDue()
{
    if (!m_waiting || !m_enabled)
        return;
    const auto now = m_clock();
    if (m_sentAt && now - *m_sentAt < kInterval) {
        m_timer.start(std::chrono::ceil<std::chrono::milliseconds>(kInterval - (now - *m_sentAt)));
        return;
    }
    const auto [title, channel] = *m_waiting;
    m_waiting.reset();
    Send(title, channel);
}

void TitleNotifier::Send(const QString& title, const QString& channel)
{
    m_sentAt = m_clock();
    if (!m_bus.isConnected())
        return;
    QDBusMessage notify = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.Notifications"),
        QStringLiteral("/org/freedesktop/Notifications"),
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("Notify"));
    QVariantMap hints;
    hints.insert(QStringLiteral("desktop-entry"), QStringLiteral("wavelark"));
    // Summary and body are shown as given; the body may be read as markup by some services.
    QString body = channel;
    body.replace(QLatin1Char('&'), QLatin1String("&amp;"))
        .replace(QLatin1Char('<'), QLatin1String("&lt;"))
        .replace(QLatin1Char('>'), QLatin1String("&gt;"));
    notify << QStringLiteral("Wavelark") << m_lastId << QStringLiteral("wavelark") << title << body
           << QStringList() << hints << qint32(-1);
    auto* watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(notify, kCallTimeoutMs), this);
    connect(
        watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* call) {
            call->deleteLater();
            const QDBusPendingReply<uint> reply = *call;
            if (reply.isError()) {
                qCInfo(lcNotify).noquote() << "no notification shown:" << reply.error().message();
                return;
            }
            m_lastId = reply.value();
            Q_EMIT Shown(m_lastId);
        });
}
