#pragma once

#include "radio/SettingsFile.h"
#include "ui/SkinnedDialog.h"

#include <QByteArray>
#include <QRect>
#include <QSize>
#include <array>

class CCheckButton;
class ChannelDirectory;
class CColorStatic;
class CCoolSlider;
class CExplorer;
class CMediaView;
class CRadioButton;
class CatalogueSearch;
class ContentServer;
class QComboBox;
class QPushButton;
class RadioPlayback;
class Skin;
class WebPageEngineLoader;
class WindowSearch;

// What the radio window works with: the process-wide values it reads and the playback it
// drives. All of it outlives the window.
struct StationContext
{
    ChannelDirectory& directory;
    const Skin& skin;
    const ContentServer& server;
    RadioPlayback& playback;
    QSize screen;         // the primary screen's size, read once at start-up
    float programVersion; // compared with the version file's
    QByteArray versionText;
    // Where the page views' engine comes from; with none the pages are not shown.
    WebPageEngineLoader* webEngine = nullptr;
    // The search shared with the desktop; with none the window keeps its own.
    CatalogueSearch* search = nullptr;
};

// The visible radio window: country list, channel tree, volume and mute, the start-up choice,
// the vendor's pages, "Random Channel", "Hide" and "Exit". Opened modally from the tray, built
// anew for every opening and destroyed when it closes; playback lives on in RadioPlayback.
class CStation : public SkinnedDialog
{
    Q_OBJECT

public:
    explicit CStation(const StationContext& context, QWidget* parent = nullptr);
    ~CStation() override;

    // Sizes and centres the window, asks for the newest version, loads the settings, builds
    // the tree and the lists and shows the playing channel. Call before exec().
    void OnInitDialog();

    int FillCountryList();
    int FillChannelTree(int countryIndex);
    void PlayRandomHere();
    void ShowPlayingChannel();
    // The country list, the first country's channels, then the playing channel's country.
    void ShowCountriesAndPlayingChannel();
    void ShowWebPage(const QByteArray& address);
    void CentreTitle();

    void LoadSettingsWindow();
    void SaveSettingsWindow();
    // Asks for the newest version off the window thread; the answer sets the download button.
    void CheckForNewVersion();
    void ShowNewestVersion(float newest);

    // "Hide" (or "Close Browser" while a page is shown) and "Exit".
    void OnHide();
    void OnExit();

    const QRect& SavedClientRect() const { return m_savedClientRect; }
    int BrowserShown() const { return m_browserShown; }
    CMediaView* ChannelTree() const { return m_tree; }
    CExplorer* WebBrowser() const { return m_browser; }

Q_SIGNALS:
    // The user chose "Exit": the program ends after the window has closed.
    void ExitRequested();
    // The version file's answer (or its failure) has set the download button.
    void VersionChecked();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void CreateControls();
    // Whether the country list's entry is "My Channels" rather than a country.
    bool IsMyChannels(int countryIndex) const;
    // The tree with the favourites in the order they were added.
    void FillMyChannels();
    // Shows the playing channel's items in the tree as selected, without starting them.
    void MarkPlayingChannel();
    // The selected channel changed: the list and the tree show it, starting nothing.
    void FollowSelectedChannel();
    // A favourite was added or removed.
    void OnFavouritesChanged();
    void OnVolumeMoved(int position);
    void OnPageButton(int buttonId);
    void ShowAbout();
    // Gives the window this outer size; the client area lies inside the border.
    void ResizeWindow(const QSize& size);
    void CentreOnScreen();

    StationContext m_context;
    QRect m_savedClientRect;
    int m_browserShown = 0;

    CColorStatic* m_title = nullptr;
    QComboBox* m_countryList = nullptr;
    CRadioButton* m_randomEveryStart = nullptr;
    CRadioButton* m_keepSelected = nullptr;
    CCoolSlider* m_volume = nullptr;
    CCheckButton* m_muteBox = nullptr;
    CCheckButton* m_nonStop = nullptr;
    QComboBox* m_startHourList = nullptr;
    QComboBox* m_hourCountList = nullptr;
    // What "setting.dat" held when the window opened, normalised; Hide writes it back with
    // what the controls show.
    SettingsValues m_settings;
    QWidget* m_sizingStrip = nullptr;
    QPushButton* m_hideButton = nullptr;
    QPushButton* m_downloadButton = nullptr;
    CMediaView* m_tree = nullptr;
    CExplorer* m_browser = nullptr;
    WindowSearch* m_search = nullptr;
};
