#include "radio/Wavelark.h"

#include "app/AnsiText.h"
#include "app/InterfaceArchive.h"
#include "app/SessionBus.h"
#include "directory/CatalogueSearch.h"
#include "directory/ChannelDirectory.h"
#include "directory/ContentServer.h"
#include "directory/LocalFiles.h"
#include "directory/StreamFetch.h"
#include "hosted/MediaPlayer.h"
#include "radio/DesktopSearch.h"
#include "radio/EvenLoudness.h"
#include "radio/Mpris.h"
#include "radio/ScheduledPlay.h"
#include "radio/SettingsFile.h"
#include "radio/SleepTimerMenu.h"
#include "radio/Station.h"
#include "radio/TitleKeeping.h"
#include "radio/TrayIcon.h"
#include "radio/TrayToolTip.h"
#include "radio/WindowSearch.h"
#include "ui/AboutDialog.h"
#include "ui/MessageDialog.h"
#include "ui/Skin.h"

#include <QApplication>
#include <QCursor>
#include <QLoggingCategory>
#include <QMenu>
#include <QScreen>
#include <QTimer>
#include <QTimerEvent>

Q_LOGGING_CATEGORY(lcRadio, "wavelark.radio")

CWavelark::CWavelark(ChannelDirectory& directory, Skin& skin, const ContentServer& server,
                     const InterfaceArchive& archive, const QByteArray& versionText,
                     QWidget* parent)
    : QDialog(parent), m_directory(directory), m_skin(skin), m_server(server), m_archive(archive),
      m_versionText(versionText),
      m_playback(new RadioPlayback(
          directory, server, [this](const QByteArray& text) { ShowMessageToUser(text); }, this)),
      m_search(std::make_unique<CatalogueSearch>(directory.Package()))
{
}

CWavelark::~CWavelark()
{
    // The playback is the first child, so Qt would destroy it before the tool tip and the desktop
    // bus that watch it: the watchers go first, then the playback, whatever way the program ends.
    delete m_scheduled;
    m_scheduled = nullptr;
    delete m_mpris;
    m_mpris = nullptr;
    delete m_desktopSearch;
    m_desktopSearch = nullptr;
    delete m_trayToolTip;
    m_trayToolTip = nullptr;
    delete m_titles;
    m_titles = nullptr;
    delete m_playback;
    m_playback = nullptr;
}

bool CWavelark::OnInitDialog()
{
    InstallTrayIcon();
    hide();
    CreatePlayer();
    LoadSettingsMain();
    StartDesktopIntegration();

    // The package, the channel list and the favourites of earlier runs.
    m_directory.Load(m_server, m_archive);
    m_skin.SetSkinColourFromPackage(m_directory.Package().PackageFolderAddress);

    // The icon is there and the menu answers while the server is asked which channels the
    // package offers; the start channel plays when the answer comes.
    const QByteArray start = ReadStartChannel();
    if (m_scheduled->StartsSilent()) {
        // Outside the daily play time: the offer is still asked for, nothing plays.
        m_playback->PlayWhenOffered(QByteArray(), PlayMode::ByName);
    } else {
        m_playback->PlayWhenOffered(start, start == "random" ? PlayMode::Random : PlayMode::ByName);
    }

    m_trayTimerId = startTimer(kTrayAnimationMs);
    return true;
}

void CWavelark::LoadSettingsMain()
{
    // Of the stored settings only the volume matters to the hidden window: it is how the
    // previous run's volume reaches the player before anything plays.
    const SettingsValues settings = ReadSettings();
    m_playback->SetVolume(settings.volume);
    // The daily play time is the other stored value with an effect.
    CreateSchedule();
    m_scheduled->ApplySettings(settings, false);
}

bool CWavelark::CreatePlayer()
{
    if (!m_playback->CreatePlayer()) {
        // Without a player the program has no purpose: end quietly once the loop runs.
        qCWarning(lcRadio) << "no audio player could be created; quitting";
        QMetaObject::invokeMethod(this, &CWavelark::QuitRequested, Qt::QueuedConnection);
        return false;
    }
    // The exported menu was made with the icon, before the player.
    ShowEvenLoudnessInExportedMenu();
    return true;
}

void CWavelark::InstallTrayIcon()
{
    if (m_tray)
        return;
    CreateSchedule();
    m_tray = new TrayIcon(this);
    // Queued: the menu and the modal windows run their own loops, which must not start inside
    // the tray icon's mouse handling (the icon's widget would get the rest of that click after
    // the menu is gone).
    connect(m_tray, &TrayIcon::Clicked, this, &CWavelark::OnTrayClicked, Qt::QueuedConnection);
    connect(m_tray, &TrayIcon::DoubleClicked, this, &CWavelark::OnTrayDoubleClicked,
            Qt::QueuedConnection);
    // A status-notifier host shows the exported menu itself; its activation (a left click in
    // most hosts) opens the window, as a double click does in an XEmbed tray.
    connect(m_tray, &TrayIcon::Activated, this, &CWavelark::OnTrayDoubleClicked,
            Qt::QueuedConnection);
    if (m_tray->IsStatusNotifierItem())
        ExportTrayMenu();
    m_tray->Install();
}

void CWavelark::StartDesktopIntegration()
{
    if (m_tray && !m_trayToolTip)
        m_trayToolTip = new TrayToolTip(*m_playback, *m_tray, this);
    CreateSchedule();
    if (m_trayToolTip) {
        connect(m_scheduled, &ScheduledPlay::ToolTipLineChanged, m_trayToolTip,
                &TrayToolTip::SetLastLine, Qt::UniqueConnection);
        m_trayToolTip->SetLastLine(m_scheduled->ToolTipLine());
    }
    // Titles are kept from the first one on, whether or not the menu is ever opened, and the
    // recorder sees every stream from its start.
    Titles().AttachRecorder();
    if (m_trayToolTip)
        connect(m_titles, &TitleKeeping::RecordingChanged, m_trayToolTip,
                &TrayToolTip::SetRecording);
    if (m_tray)
        connect(m_titles, &TitleKeeping::RecordingChanged, m_tray, &TrayIcon::SetRecording);
    if (!m_desktopSearch) {
        m_desktopSearch = new DesktopSearch(
            *m_search, *m_playback,
            {[this](const QString& terms) { OpenRadioWindowWithSearch(terms); }}, this);
        if (SessionBusReachable())
            m_desktopSearch->Publish(QDBusConnection::sessionBus());
    }
    if (m_mpris)
        return;
    // Raise opens the window as "Open" does, which also serves tray hosts that report no
    // double click; Quit takes the Exit path.
    m_mpris = new Mpris(*m_playback, {[this] { RunTrayCommand(kCommandOpen); }, [this] { Exit(); }},
                        this);
    if (SessionBusReachable())
        m_mpris->Publish(QDBusConnection::sessionBus());
    else
        qCInfo(lcRadio) << "no D-Bus session bus (none named in the environment, no socket in "
                           "$XDG_RUNTIME_DIR): desktop media controls cannot reach Wavelark";
}

void CWavelark::CreateSchedule()
{
    if (m_scheduled)
        return;
    m_scheduled = new ScheduledPlay(*m_playback, m_wallClock, this);
    m_scheduled->SetStartChannelPlay([this] { PlayStartChannel(); });
}

void CWavelark::PlayStartChannel()
{
    // The start-up choice decides, as at start-up: the saved channel, or a random one.
    const QByteArray start = ReadStartChannel();
    PlayChannel(start, start == "random" ? PlayMode::Random : PlayMode::ByName);
}

TitleKeeping& CWavelark::Titles()
{
    if (!m_titles)
        m_titles = new TitleKeeping(
            *m_playback,
            SessionBusReachable() ? QDBusConnection::sessionBus() : QDBusConnection(QString()),
            [this](const QByteArray& text) { ShowMessageToUser(text); }, this);
    return *m_titles;
}

void CWavelark::AnimateTrayIcon()
{
    if (m_tray)
        m_tray->AnimateTrayIcon();
}

void CWavelark::timerEvent(QTimerEvent* event)
{
    if (event->timerId() == m_trayTimerId)
        AnimateTrayIcon();
    else
        QDialog::timerEvent(event);
}

QByteArray CWavelark::ReadStartChannel() const
{
    return ::ReadStartChannel(m_directory.Package().PackageName);
}

void CWavelark::ShowMessageToUser(const QByteArray& text)
{
    ShowMessage(text, m_skin);
}

void CWavelark::PlayChannel(const QByteArray& name, PlayMode mode)
{
    m_playback->PlayChannel(name, mode);
}

void CWavelark::StopOrResume()
{
    // Stop while the wake-up chime plays: silence, whatever the channel does meanwhile.
    if (m_scheduled && m_scheduled->StopWakeChime()) {
        if (m_playback->IsPlaying() == 1)
            m_playback->StopOrResume();
        return;
    }
    // After a silent start nothing is selected yet: Resume plays what a start would have.
    if (m_playback->IsPlaying() != 1 && m_playback->SelectedChannelName().isEmpty()) {
        PlayStartChannel();
        return;
    }
    m_playback->StopOrResume();
}

void CWavelark::ToggleMute()
{
    m_playback->ToggleMute();
}

bool CWavelark::BringOpenRadioWindowForward()
{
    // While the radio window is open, clicks on the icon only bring it forward and flash it.
    if (!m_openRadioWindow)
        return false;
    m_openRadioWindow->raise();
    m_openRadioWindow->activateWindow();
    QApplication::alert(m_openRadioWindow);
    return true;
}

void CWavelark::OnTrayClicked()
{
    if (!BringOpenRadioWindowForward())
        RunTrayCommand(ShowTrayMenu());
}

void CWavelark::OnTrayDoubleClicked()
{
    if (!BringOpenRadioWindowForward())
        OpenRadioWindowModal();
}

void CWavelark::AddTrayMenuItems(QMenu& menu)
{
    const struct
    {
        int command;
        const char* text;
    } items[] = {
        {kCommandOpen, "Open"},
        {kCommandRandom, "Random Channel"},
        {kCommandStopResume, "Stop/Resume"},
        {0, nullptr},
        {kCommandAbout, "About us"},
        {kCommandExit, "Exit"},
    };
    const EvenLoudness* levelling = m_playback->Levelling();
    for (const auto& item : items) {
        if (item.text) {
            menu.addAction(QString::fromLatin1(item.text))->setData(item.command);
            continue;
        }
        // What is kept of what plays, the timers, and how it sounds.
        menu.addSeparator();
        Titles().AddRecordItem(menu);
        menu.addSeparator();
        if (m_scheduled)
            AddSleepTimerMenu(menu, m_scheduled->Sleep());
        Titles().AddRecentTitles(menu);
        menu.addSeparator();
        Titles().AddNotificationsItem(menu);
        QAction* even = menu.addAction(QStringLiteral("Even loudness"));
        even->setData(kCommandEvenLoudness);
        even->setCheckable(true);
        even->setChecked(levelling && levelling->IsOn());
        even->setEnabled(levelling != nullptr);
        menu.addSeparator();
    }
}

void CWavelark::ShowEvenLoudnessInExportedMenu()
{
    const QMenu* menu = m_tray ? m_tray->Icon().contextMenu() : nullptr;
    if (!menu)
        return;
    const EvenLoudness* levelling = m_playback->Levelling();
    for (QAction* action : menu->actions()) {
        if (action->data().toInt() != kCommandEvenLoudness)
            continue;
        action->setEnabled(levelling != nullptr);
        action->setChecked(levelling && levelling->IsOn());
    }
}

int CWavelark::ShowTrayMenu()
{
    QMenu menu;
    AddTrayMenuItems(menu);
    const QAction* chosen = menu.exec(QCursor::pos());
    return chosen ? chosen->data().toInt() : 0;
}

void CWavelark::ExportTrayMenu()
{
    // The host draws this menu from its D-Bus copy and reports the item chosen; it is never
    // shown here. Queued, so that the host's call is answered before a modal window's loop
    // starts.
    auto* menu = new QMenu(this);
    AddTrayMenuItems(*menu);
    connect(
        menu, &QMenu::triggered, this,
        [this](const QAction* chosen) { RunTrayCommand(chosen->data().toInt()); },
        Qt::QueuedConnection);
    m_tray->Icon().setContextMenu(menu);
}

void CWavelark::RunTrayCommand(int command)
{
    if (const int minutes = SleepMinutesOfCommand(command); minutes >= 0) {
        if (m_scheduled && !m_playback->IsShutDown())
            m_scheduled->Sleep().Choose(minutes);
        return;
    }
    switch (command) {
    case kCommandOpen:
        if (!m_openRadioWindow)
            OpenRadioWindowModal();
        break;
    case kCommandRandom:
        PlayChannel(QByteArrayLiteral("random"), PlayMode::Random);
        break;
    case kCommandStopResume:
        StopOrResume();
        break;
    case kCommandEvenLoudness:
        if (EvenLoudness* levelling = m_playback->Levelling())
            levelling->SetOn(!levelling->IsOn());
        // A host's menu ticks its copy itself; this keeps the two the same either way.
        ShowEvenLoudnessInExportedMenu();
        break;
    case kCommandAbout: {
        CRadioAbout about(m_skin, m_versionText);
        about.exec();
        break;
    }
    case kCommandExit:
        Exit();
        break;
    default:
        break;
    }
}

void CWavelark::Exit()
{
    if (m_playback->IsShutDown())
        return;
    m_playback->Shutdown();
    if (m_scheduled) {
        m_scheduled->Sleep().Choose(0);
        m_scheduled->StopWakeChime();
    }
    m_directory.Release();
    if (m_tray)
        m_tray->Remove();
    Q_EMIT QuitRequested();
}

void CWavelark::OpenRadioWindowWithSearch(const QString& terms)
{
    if (m_playback->IsShutDown())
        return;
    if (WindowSearch* search = WindowSearch::Of(m_openRadioWindow)) {
        search->ShowQuery(terms);
        BringOpenRadioWindowForward();
        return;
    }
    // The window's own loop runs until it closes: the terms go in once that loop has begun.
    QTimer::singleShot(0, this, [this, terms] {
        if (WindowSearch* search = WindowSearch::Of(m_openRadioWindow))
            search->ShowQuery(terms);
    });
    OpenRadioWindowModal();
}

void CWavelark::OpenRadioWindowModal()
{
    if (m_playback->IsShutDown())
        return;
    QSize screen = m_screen;
    if (screen.isEmpty()) {
        if (const QScreen* primary = QGuiApplication::primaryScreen())
            screen = primary->geometry().size();
    }
    const StationContext context{m_directory,   m_skin,      m_server,
                                 *m_playback,   screen,      m_versionText.toFloat(),
                                 m_versionText, m_webEngine, m_search.get()};
    // Built anew for every opening and destroyed when the modal loop returns; the QPointer
    // forgets it even if something else destroys it first.
    CStation station(context);
    m_openRadioWindow = &station;
    connect(&station, &CStation::ExitRequested, this, &CWavelark::Exit, Qt::QueuedConnection);
    station.OnInitDialog();
    station.exec();
    m_openRadioWindow = nullptr;
    // Hide has written the settings: a changed play time applies from now on.
    if (m_scheduled && !m_playback->IsShutDown())
        m_scheduled->ApplySettings(ReadSettings(), true);
}
