#include "radio/TrayIcon.h"

#include <QLoggingCategory>

Q_LOGGING_CATEGORY(lcTray, "wavelark.tray")

static void InitRadioResources()
{
    // The frames live in this static library's resources; make sure the linker keeps them.
    Q_INIT_RESOURCE(radio);
}

TrayIcon::TrayIcon(QObject* parent) : QObject(parent)
{
    InitRadioResources();
    for (int i = 0; i < kTrayIconCount; ++i)
        m_trayIcons[static_cast<size_t>(i)] = QIcon(QStringLiteral(":/radio/tray%1.png").arg(i));

    connect(&m_icon, &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
                switch (reason) {
                case QSystemTrayIcon::Trigger: // left button
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
    m_icon.setIcon(m_trayIcons[static_cast<size_t>(m_trayIconStep)]);
    m_trayIconStep = (m_trayIconStep + 1) % kTrayIconCount;
}
