#include "radio/TrayIcon.h"

#include "app/SessionBus.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QImageReader>
#include <QLoggingCategory>
#include <QPainter>
#include <QPixmap>

Q_LOGGING_CATEGORY(lcTray, "wavelark.tray")

// Qt's own test for showing a tray icon as a StatusNotifierItem, made once per process when the
// first icon is made: a watcher on the session bus that reports a registered host. One plain
// property read, bounded, that never starts a watcher: the window thread waits for it.
static bool StatusNotifierHostRegistered()
{
    if (!SessionBusReachable())
        return false;
    const QString watcherName = QStringLiteral("org.kde.StatusNotifierWatcher");
    QDBusMessage get = QDBusMessage::createMethodCall(
        watcherName, QStringLiteral("/StatusNotifierWatcher"),
        QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    get << watcherName << QStringLiteral("IsStatusNotifierHostRegistered");
    get.setAutoStartService(false);
    const QDBusMessage reply = QDBusConnection::sessionBus().call(get, QDBus::Block, 1000);
    return reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty() &&
           reply.arguments().constFirst().value<QDBusVariant>().variant().toBool();
}

// The frames are PNG files of our own: read them with Qt's built-in PNG reader. Without a fixed
// format Qt would first load every image plugin (GIF, ICO, JPEG, SVG and their libraries) to
// ask each whether it knows the file, about 5 ms before the tray icon can be shown.
static QIcon TrayFrame(const QString& path)
{
    QImageReader reader(path, QByteArrayLiteral("png"));
    reader.setAutoDetectImageFormat(false);
    const QImage frame = reader.read();
    if (frame.isNull())
        qCWarning(lcTray) << "tray icon frame" << path << "is unreadable:" << reader.errorString();
    return QIcon(QPixmap::fromImage(frame));
}

static void InitRadioResources()
{
    // The frames live in this static library's resources; make sure the linker keeps them.
    Q_INIT_RESOURCE(radio);
}

TrayIcon::TrayIcon(QObject* parent)
    : QObject(parent), m_statusNotifierItem(StatusNotifierHostRegistered())
{
    InitRadioResources();
    for (int i = 0; i < kTrayIconCount; ++i)
        m_trayIcons[static_cast<size_t>(i)] =
            TrayFrame(QStringLiteral(":/radio/tray%1.png").arg(i));

    connect(&m_icon, &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
                switch (reason) {
                case QSystemTrayIcon::Trigger: // left button
                    if (m_statusNotifierItem) {
                        Q_EMIT Activated();
                        break;
                    }
                    Q_EMIT Clicked();
                    break;
                case QSystemTrayIcon::Context: // right button
                    Q_EMIT Clicked();
                    break;
                case QSystemTrayIcon::DoubleClick:
                    Q_EMIT DoubleClicked();
                    break;
                default:
                    break;
                }
            });
}

void TrayIcon::Install()
{
    m_icon.setIcon(m_trayIcons[0]);
    m_icon.setToolTip(QStringLiteral("Wavelark"));
    if (m_statusNotifierItem)
        qCInfo(lcTray) << "shown by a status-notifier host on the session bus";
    if (!QSystemTrayIcon::isSystemTrayAvailable())
        qCInfo(lcTray) << "no notification area yet; the icon appears when one starts";
    m_icon.show();
}

void TrayIcon::Remove()
{
    m_icon.hide();
}

void TrayIcon::AnimateTrayIcon()
{
    m_shownFrame = m_trayIconStep;
    const auto frame = static_cast<size_t>(m_trayIconStep);
    m_icon.setIcon(m_recording ? m_recordingIcons[frame] : m_trayIcons[frame]);
    m_trayIconStep = (m_trayIconStep + 1) % kTrayIconCount;
}

// A frame with a red dot in its lower right corner, the sign of a recording:
//
//     +--------+
//     |        |
//     |     ## |
//     +--------+
static QIcon WithRecordingDot(const QIcon& frame)
{
    QPixmap pixmap = frame.pixmap(QSize(32, 32));
    if (pixmap.isNull())
        return frame;
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    const qreal size = pixmap.width() * 0.42;
    const QRectF dot(pixmap.width() - size - 1, pixmap.height() - size - 1, size, size);
    painter.setPen(QPen(Qt::white, 1.5));
    painter.setBrush(QColor(220, 0, 0));
    painter.drawEllipse(dot);
    return QIcon(pixmap);
}

void TrayIcon::SetRecording(bool recording)
{
    if (recording == m_recording)
        return;
    m_recording = recording;
    if (recording && m_recordingIcons[0].isNull()) {
        for (size_t i = 0; i < m_trayIcons.size(); ++i)
            m_recordingIcons[i] = WithRecordingDot(m_trayIcons[i]);
    }
    const auto frame = static_cast<size_t>(m_shownFrame);
    m_icon.setIcon(recording ? m_recordingIcons[frame] : m_trayIcons[frame]);
}
