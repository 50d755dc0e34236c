#pragma once

#include "radio/ChannelChoice.h"
#include "radio/RadioPlayback.h"
#include "radio/WallClock.h"

#include <QByteArray>
#include <QDialog>
#include <QPointer>
#include <QSize>
#include <memory>

struct InterfaceArchive;
class CatalogueSearch;
class ChannelDirectory;
class ContentServer;
class DesktopSearch;
class MediaPlayer;
class Mpris;
class QMenu;
class ScheduledPlay;
class Skin;
class TitleKeeping;
class TrayIcon;
class TrayToolTip;
class WebPageEngineLoader;

// The hidden main window: owns the player and the tray icon, starts the last channel (or a
// random one) at start-up, and carries out what the tray menu asks for. It is never shown.
class CWavelark : public QDialog
{
    Q_OBJECT

public:
    static constexpr int kIdTrayTimer = 10002;
    static constexpr int kTrayAnimationMs = 1500;

    // Tray menu commands.
    static constexpr int kCommandOpen = 157;
    static constexpr int kCommandExit = 158;
    static constexpr int kCommandAbout = 161;
    static constexpr int kCommandRandom = 164;
    static constexpr int kCommandStopResume = 165;
    // A check item: the choice is kept in "wavelark.ini".
    static constexpr int kCommandEvenLoudness = 181;

    CWavelark(ChannelDirectory& directory, Skin& skin, const ContentServer& server,
              const InterfaceArchive& archive, const QByteArray& versionText = QByteArray(),
              QWidget* parent = nullptr);
    ~CWavelark() override;

    // The start-up chain: tray icon, player, settings, package, channel list, availability,
    // the start channel, the animation timer.
    bool OnInitDialog();

    void PlayChannel(const QByteArray& name, PlayMode mode);
    void StopOrResume();
    void ToggleMute();

    bool CreatePlayer();
    void LoadSettingsMain();
    void InstallTrayIcon();
    // The tray tool tip that follows what plays, and the player on the desktop session bus.
    void StartDesktopIntegration();
    void AnimateTrayIcon();
    QByteArray ReadStartChannel() const;

    // What a click and a double click on the tray icon do.
    void OnTrayClicked();
    void OnTrayDoubleClicked();
    // Carries out one tray menu command.
    void RunTrayCommand(int command);
    void OpenRadioWindowModal();
    // The desktop's search asked for the radio window with `terms` in its search field.
    void OpenRadioWindowWithSearch(const QString& terms);
    // The one way out, whoever asks (the tray's Exit, the window's Exit, the desktop bus, a
    // termination signal): nothing plays or starts from now on, the icon goes, the loop ends.
    void Exit();

    RadioPlayback& Playback() { return *m_playback; }
    TrayIcon* Tray() { return m_tray; }
    TrayToolTip* ToolTip() { return m_trayToolTip; }
    Mpris* DesktopBus() { return m_mpris; }
    // The sleep timer and the daily schedule; null before StartDesktopIntegration.
    ScheduledPlay* Scheduled() { return m_scheduled; }
    // Where the timers read the time of day; set before OnInitDialog.
    void SetWallClock(WallClock clock) { m_wallClock = std::move(clock); }
    // The title history, notifications and recording, made at the first use.
    TitleKeeping& Titles();
    DesktopSearch* DesktopSearchProvider() { return m_desktopSearch; }
    void SetClock(LocalClock clock) { m_playback->SetClock(std::move(clock)); }

    // The visible radio window while it is open; null otherwise, also when it is destroyed.
    QWidget* OpenRadioWindow() const { return m_openRadioWindow; }
    void SetOpenRadioWindow(QWidget* window) { m_openRadioWindow = window; }
    // The primary screen's size as start-up read it; the radio window centres and widens by it.
    void SetScreenSize(const QSize& size) { m_screen = size; }
    // Where the radio window's page views come from (kept, not owned); without one no page shows.
    void SetWebEngine(WebPageEngineLoader* engine) { m_webEngine = engine; }

Q_SIGNALS:
    // The user chose Exit; the event loop ends.
    void QuitRequested();

protected:
    void timerEvent(QTimerEvent* event) override;

private:
    // The tray menu's items, each carrying its command as its data.
    void AddTrayMenuItems(QMenu& menu);
    // The exported menu's "Even loudness": ticked as the option stands, enabled with a player.
    void ShowEvenLoudnessInExportedMenu();
    int ShowTrayMenu();
    // Gives a status-notifier host the tray menu; the chosen item runs its command.
    void ExportTrayMenu();
    // The sleep timer and the daily schedule, made once.
    void CreateSchedule();
    // Plays the channel the start-up choice names, as a start does.
    void PlayStartChannel();
    // True when a radio window was open and has been brought forward.
    bool BringOpenRadioWindowForward();
    void ShowMessageToUser(const QByteArray& text);

    ChannelDirectory& m_directory;
    Skin& m_skin;
    const ContentServer& m_server;
    const InterfaceArchive& m_archive;
    QByteArray m_versionText;
    RadioPlayback* m_playback = nullptr;
    TrayIcon* m_tray = nullptr;
    TrayToolTip* m_trayToolTip = nullptr;
    Mpris* m_mpris = nullptr;
    WallClock m_wallClock = SystemWallClock;
    ScheduledPlay* m_scheduled = nullptr;
    TitleKeeping* m_titles = nullptr;
    // The channel search of the radio window and the desktop.
    std::unique_ptr<CatalogueSearch> m_search;
    DesktopSearch* m_desktopSearch = nullptr;
    int m_trayTimerId = 0;
    QSize m_screen;
    WebPageEngineLoader* m_webEngine = nullptr;
    QPointer<QWidget> m_openRadioWindow;
};
