#pragma once

#include <QIcon>
#include <QObject>
#include <QSystemTrayIcon>
#include <array>

// The notification-area icon: five animation frames and the tool tip "Wavelark". Clicks are
// reported as they come; the main window decides what they do.
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

    int TrayIconStep() const { return m_trayIconStep; }
    QSystemTrayIcon& Icon() { return m_icon; }

Q_SIGNALS:
    // A single left or right click on the icon.
    void Clicked();
    // A double click on the icon.
    void DoubleClicked();

private:
    QSystemTrayIcon m_icon;
    std::array<QIcon, kTrayIconCount> m_trayIcons;
    int m_trayIconStep = 0;
};
