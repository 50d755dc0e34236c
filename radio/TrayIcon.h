#pragma once

#include <QIcon>
#include <QObject>
#include <QSystemTrayIcon>
#include <array>

// The notification-area icon: five animation frames and the tool tip "Wavelark". Clicks are
// reported as they come; the main window decides what they do.
//
// Qt shows the icon in one of two ways: docked as a window in an XEmbed tray, or, when a
// status-notifier host is registered on the session bus as the icon is made, as a
// StatusNotifierItem that the host draws itself. Such a host shows the menu it reads from the
// item over D-Bus and sends a left click as an activation.
class TrayIcon : public QObject
{
    Q_OBJECT

public:
    static constexpr int kTrayIconCount = 5;

    explicit TrayIcon(QObject* parent = nullptr);

    // Adds the icon to the notification area, showing frame 0.
    void Install();
    // Removes the icon from the notification area.
    void Remove();

    // Shows frame TrayIconStep and moves the step on; called every 1500 ms.
    void AnimateTrayIcon();
    // While recording the frames carry a red dot.
    void SetRecording(bool recording);

    int TrayIconStep() const { return m_trayIconStep; }
    // True when a status-notifier host shows the icon (see above); fixed for the process.
    bool IsStatusNotifierItem() const { return m_statusNotifierItem; }
    QSystemTrayIcon& Icon() { return m_icon; }

Q_SIGNALS:
    // A single left or right click on the icon; from a status-notifier host, its request that
    // the icon show its menu itself.
    void Clicked();
    // A double click on the icon.
    void DoubleClicked();
    // A status-notifier host activated the icon (most hosts: a left click).
    void Activated();

private:
    // Asked before m_icon is made, as Qt asks when it makes the icon.
    bool m_statusNotifierItem = false;
    QSystemTrayIcon m_icon;
    std::array<QIcon, kTrayIconCount> m_trayIcons;
    std::array<QIcon, kTrayIconCount> m_recordingIcons;
    bool m_recording = false;
    int m_shownFrame = 0;
    int m_trayIconStep = 0;
};
