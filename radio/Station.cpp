#include "radio/Station.h"

#include "app/AnsiText.h"
#include "directory/ChannelCatalogue.h"
#include "directory/ChannelDirectory.h"
#include "directory/ChannelTree.h"
#include "directory/ContentServer.h"
#include "directory/LocalFiles.h"
#include "directory/UpdateNotice.h"
#include "hosted/web/Explorer.h"
#include "radio/RadioPlayback.h"
#include "radio/SettingsFile.h"
#include "radio/StationIds.h"
#include "radio/StationLayout.h"
#include "radio/WindowSearch.h"
#include "ui/AboutDialog.h"
#include "ui/BodyDrag.h"
#include "ui/CheckButton.h"
#include "ui/ColorStatic.h"
#include "ui/CoolSlider.h"
#include "ui/GroupBox.h"
#include "ui/RadioButton.h"
#include "ui/Skin.h"
#include "ui/SkinCursors.h"

#include <QComboBox>
#include <QDateTime>
#include <QFutureWatcher>
#include <QLabel>
#include <QLoggingCategory>
#include <QPushButton>
#include <QtConcurrent/QtConcurrentRun>
#include <algorithm>
#include <cmath>

Q_LOGGING_CATEGORY(lcStation, "wavelark.station")

namespace {

// The template's 230 x 434, and a column for the "Playtime" group at its right.
constexpr DialogRect kPlaytimeFrame = {229, 13, 84, 80};
constexpr DialogRect kTemplate = {0, 0, kPlaytimeFrame.x + kPlaytimeFrame.width + 5, 434};
constexpr int kBorder = 1;
// The tree's place is given in pixels at 96 DPI, not in dialog units.
constexpr QRect kTreeRect(30, 85, 285, 102);

// Push buttons whose pushed look a mouse move over the window's body takes back.
constexpr int kUnpushedOnMove[] = {kIdShopping, kIdContact,  kIdWebsite,      kIdHelp,
                                   kIdHide,     kIdDownload, kIdRandomChannel};

CGroupBox* AddGroupBox(QWidget* client, int id, const QByteArray& caption, const DialogRect& rect,
                       qreal scale)
{
    auto* frame = new CGroupBox(caption, client);
    PlaceControl(frame, id, rect, scale);
    frame->lower();
    return frame;
}

// A drop-down list at its template place. The template's height includes the opened list;
// the closed box takes the height the style gives it.
QComboBox* AddDropDown(QWidget* client, int id, const DialogRect& rect, qreal scale)
{
    auto* combo = new QComboBox(client);
    PlaceControl(combo, id, rect, scale);
    combo->resize(combo->width(), combo->sizeHint().height());
    return combo;
}

// The values of the Playtime group as the window keeps them: Non-stop as a tick (any
// positive value is ticked), the start hour and the number of hours as an entry of their lists,
// -1 for none (a stored value outside the list).
SettingsValues KeptAsTheWindowKeepsThem(SettingsValues values)
{
    values.nonStop = values.nonStop >= 1 ? 1 : 0;
    if (values.startHour < 0 || values.startHour >= StartHourItems().size())
        values.startHour = -1;
    if (values.hours < 0 || values.hours >= HourCountItems().size())
        values.hours = -1;
    return values;
}

} // namespace

CStation::CStation(const StationContext& context, QWidget* parent)
    : SkinnedDialog(context.skin, kTemplate, parent), m_context(context)
{
    CreateControls();
    // Dragged by its body, with the hand over everything clickable.
    auto* drag = new BodyDrag(this);
    QList<QAbstractButton*> unpushed;
    for (const int id : kUnpushedOnMove)
        unpushed << qobject_cast<QAbstractButton*>(FindControl(this, id));
    drag->SetUnpushedOnMove(unpushed);
    ApplyHandCursors(this, HandCursorRule::ButtonsAndSliders);
}

CStation::~CStation() = default;

void CStation::CreateControls()
{
    QWidget* client = Client();
    const qreal scale = Scale();

    // Frames first, so the controls inside them lie above.
    AddGroupBox(client, kIdSelectionFrame, "Selection", {7, 13, 216, 106}, scale);
    AddGroupBox(client, kIdChannelSelectionFrame, "Channel Selection", {7, 120, 216, 34}, scale);
    AddGroupBox(client, kIdControlsFrame, "Controls", {7, 156, 216, 46}, scale);
    AddGroupBox(client, kIdButtonFrame, QByteArray(), {7, 205, 216, 225}, scale);

    m_title = AddStatic(kIdTitle, "Wavelark Plus", {7, 3, 216, 8});
    AddStatic(kIdCountryLabel, "Select country", {14, 25, 60, 11});
    m_countryList = AddDropDown(client, kIdCountryList, {95, 23, 113, 91}, scale);
    connect(m_countryList, &QComboBox::activated, this, [this](int index) {
        const int shown = FillChannelTree(index);
        // The wall-clock time lets a benchmark relate the switch to the key press behind it.
        qCInfo(lcStation).nospace()
            << "country shown: " << shown
            << " channels, epoch_ms=" << QDateTime::currentMSecsSinceEpoch();
    });
    AddStatic(kIdChannelLabel, "Select Channel", {14, 39, 60, 11});

    m_randomEveryStart = new CRadioButton(QStringLiteral("Random Selection every start"), client);
    PlaceControl(m_randomEveryStart, kIdRandomEveryStart, {71, 128, 140, 10}, scale);
    m_keepSelected = new CRadioButton(QStringLiteral("Keep selected Channel"), client);
    PlaceControl(m_keepSelected, kIdKeepSelected, {71, 139, 139, 12}, scale);
    CRadioButton::SetGroup({m_randomEveryStart, m_keepSelected});

    AddStatic(kIdVolumeLabel, "Volume", {27, 163, 78, 8});
    m_volume = new CCoolSlider(m_context.skin, client);
    m_volume->setAccessibleName(QStringLiteral("Volume"));
    PlaceControl(m_volume, kIdVolumeSlider, {18, 173, 94, 25}, scale);
    connect(m_volume, &QAbstractSlider::valueChanged, this, &CStation::OnVolumeMoved);
    // Every scroll counts, also one at an end stop that moves nothing: it still clears Mute.
    connect(m_volume, &CCoolSlider::Scrolled, this, &CStation::OnVolumeMoved);

    m_muteBox = new CCheckButton(QStringLiteral("Mute"), client);
    PlaceControl(m_muteBox, kIdMuteBox, {151, 180, 40, 10}, scale);

    const struct
    {
        int id;
        const char* text;
        DialogRect rect;
    } buttons[] = {
        {kIdShopping, "Shopping...", {48, 210, 135, 15}},
        {kIdRandomChannel, "Random Channel", {48, 226, 135, 15}},
        {kIdContact, "Contact us", {48, 241, 135, 15}},
        {kIdWebsite, "Website", {48, 257, 135, 15}},
        {kIdHelp, "Help", {48, 273, 135, 15}},
        {kIdAbout, "About us", {48, 289, 135, 15}},
        {kIdUpgrade, "Upgrade...", {48, 345, 135, 15}},
        {kIdWatchTv, "Watch TV", {48, 361, 135, 15}},
        {kIdDownload, "Download latest version", {48, 377, 135, 15}},
        {kIdHide, "Hide", {48, 393, 135, 15}},
        {kIdExit, "Exit", {48, 409, 135, 15}},
    };
    for (const auto& b : buttons) {
        QPushButton* button = AddButton(b.id, QString::fromLatin1(b.text), b.rect);
        button->setAutoDefault(false);
        const int id = b.id;
        switch (id) {
        case kIdRandomChannel:
            connect(button, &QPushButton::clicked, this, [this] {
                PlayRandomHere();
                ShowPlayingChannel();
            });
            break;
        case kIdAbout:
            connect(button, &QPushButton::clicked, this, &CStation::ShowAbout);
            break;
        case kIdHide:
            m_hideButton = button;
            connect(button, &QPushButton::clicked, this, &CStation::OnHide);
            break;
        case kIdExit:
            connect(button, &QPushButton::clicked, this, &CStation::OnExit);
            break;
        default:
            if (id == kIdDownload)
                m_downloadButton = button;
            connect(button, &QPushButton::clicked, this, [this, id] { OnPageButton(id); });
            break;
        }
    }

    SetControlId(AddLogo({48, 311, 135, 29}), kIdLogo);

    // The daily play time, in a column of its own right of the template's controls, which
    // keep their places: the window is wider by this column.
    AddGroupBox(client, kIdPlaytimeFrame, "Playtime", kPlaytimeFrame, scale);
    m_nonStop = new CCheckButton(QStringLiteral("Non-stop"), client);
    PlaceControl(m_nonStop, kIdNonStop, {236, 25, 70, 10}, scale);
    AddStatic(kIdStartTimeLabel, "Start time", {236, 39, 70, 8});
    m_startHourList = AddDropDown(client, kIdStartHourList, {236, 48, 70, 100}, scale);
    AddStatic(kIdHoursLabel, "Number of hours", {236, 64, 70, 8});
    m_hourCountList = AddDropDown(client, kIdHourCountList, {236, 73, 70, 100}, scale);
    m_startHourList->addItems(StartHourItems());
    m_hourCountList->addItems(HourCountItems());
    // The lists only matter without "Non-stop".
    connect(m_nonStop, &CCheckButton::Toggled, this, [this](int checked) {
        m_startHourList->setEnabled(checked != 1);
        m_hourCountList->setEnabled(checked != 1);
    });
    // Never shown: its vertical extent places the web page.
    m_sizingStrip = new QWidget(client);
    PlaceControl(m_sizingStrip, kIdSizingStrip, {223, 15, 8, 415}, scale);
    m_sizingStrip->hide();
}

void CStation::OnInitDialog()
{
    m_savedClientRect = SavedClientRectFrom(Client()->rect());
    ResizeWindow(m_savedClientRect.size());
    CentreOnScreen();

    CheckForNewVersion();

    m_volume->AttachToWindow(Client());
    m_volume->setRange(0, 100);
    m_volume->setPageStep(10);
    {
        const QSignalBlocker quiet(m_volume);
        m_volume->setValue(50);
    }

    // The Mute box drives the player: muted exactly while it is ticked. It opens showing what
    // the player does, so the first click always does what the tick promises.
    if (m_context.playback.IsMuted())
        m_muteBox->Toggle();
    connect(m_muteBox, &CCheckButton::Toggled, this,
            [this](int checked) { m_context.playback.SetMuted(checked == 1); });
    // A mute from elsewhere (the tray, the desktop bus) shows on the box at once.
    connect(&m_context.playback, &RadioPlayback::MutedChanged, this,
            [this](bool muted) { m_muteBox->SetChecked(muted ? 1 : 0); });

    LoadSettingsWindow();
    // A volume set elsewhere (the desktop bus) shows on the slider; it is saved by Hide as any.
    connect(&m_context.playback, &RadioPlayback::VolumeChanged, this, [this](int level) {
        const QSignalBlocker quiet(m_volume);
        m_volume->setValue(level);
    });

    m_tree = new CMediaView(m_context.directory, Client());
    SetControlId(m_tree, kIdChannelTree);
    m_tree->setAccessibleName(QStringLiteral("Channels"));
    m_tree->setHeaderLabel(QStringLiteral("Channels")); // hidden; screen readers read it
    const auto px = [this](int value) { return static_cast<int>(std::lround(value * Scale())); };
    m_tree->setGeometry(px(kTreeRect.x()), px(kTreeRect.y()), px(kTreeRect.width()),
                        px(kTreeRect.height()));
    m_tree->SetupImages();
    connect(m_tree, &CMediaView::StartChannelRequested, this,
            [this](const QByteArray& name) { m_context.playback.PlayTreeChannel(name); });
    connect(&m_context.directory, &ChannelDirectory::FavouritesChanged, this,
            &CStation::OnFavouritesChanged);
    m_search = new WindowSearch(*this, *m_countryList, *m_tree, m_context.directory.Package(),
                                m_context.playback, m_context.search, Scale());
    // A channel chosen elsewhere (the tray, the desktop bus, a random pick) shows in the list
    // and the tree without starting anything. After the current input is handled: the change
    // may come from inside the tree's own click.
    connect(&m_context.playback, &RadioPlayback::SelectedChannelChanged, this, [this] {
        QMetaObject::invokeMethod(this, &CStation::FollowSelectedChannel, Qt::QueuedConnection);
    });

    // The package's offer is asked for at start-up and may come while the window is open.
    connect(&m_context.directory, &ChannelDirectory::AvailabilityChanged, this,
            &CStation::ShowCountriesAndPlayingChannel);

    ShowCountriesAndPlayingChannel();
}

void CStation::LoadSettingsWindow()
{
    m_settings = KeptAsTheWindowKeepsThem(ReadSettings());
    if (m_settings.keepSelected >= 1)
        m_keepSelected->Select();
    else
        m_randomEveryStart->Select();
    if (m_settings.nonStop >= 1)
        m_nonStop->Toggle();
    m_startHourList->setCurrentIndex(m_settings.startHour);
    m_hourCountList->setCurrentIndex(m_settings.hours);
    {
        // The slider shows the player's volume, which may have been set from the desktop bus
        // since the start: the file's volume reached the player at start-up only. Showing it is
        // not the user moving it, so the Mute tick stays.
        const QSignalBlocker quiet(m_volume);
        m_volume->setValue(m_context.playback.Volume());
    }
}

void CStation::SaveSettingsWindow()
{
    SettingsValues values = m_settings;
    values.keepSelected = m_keepSelected->IsSelected() ? 1 : 0;
    values.volume = m_volume->value();
    values.nonStop = m_nonStop->IsChecked() ? 1 : 0;
    values.startHour = m_startHourList->currentIndex();
    values.hours = m_hourCountList->currentIndex();
    WriteSettings(TextsFromSettings(values));
}

void CStation::CheckForNewVersion()
{
    // The window is there at once; the button follows the version file's answer, which comes
    // from a worker within the fetch's own bound. A window closed meanwhile takes it with its
    // watcher, so a late answer reaches nothing.
    m_downloadButton->hide();
    auto* watcher = new QFutureWatcher<float>(this);
    connect(watcher, &QFutureWatcherBase::finished, this, [this, watcher] {
        watcher->deleteLater();
        ShowNewestVersion(watcher->result());
    });
    watcher->setFuture(
        QtConcurrent::run([server = m_context.server, programVersion = m_context.programVersion] {
            return FetchNewestVersion(server, programVersion);
        }));
}

void CStation::ShowNewestVersion(float newest)
{
    if (const auto caption = DownloadButtonCaption(m_context.programVersion, newest)) {
        m_downloadButton->setText(*caption);
        m_downloadButton->show();
    } else {
        m_downloadButton->hide();
    }
    Q_EMIT VersionChecked();
}

void CStation::OnVolumeMoved(int position)
{
    m_context.playback.SetVolume(position);
    if (m_muteBox->IsChecked()) {
        // Moving the volume means the user wants to hear it: the tick goes, and so does the
        // player's mute, so that box and player never disagree.
        m_muteBox->Clear();
        m_muteBox->update();
        m_context.playback.SetMuted(false);
    }
}

void CStation::OnPageButton(int buttonId)
{
    ShowWebPage(WebPageAddress(m_context.server, buttonId));
    m_browserShown = 1;
    m_hideButton->setText(QStringLiteral("Close Browser"));
}

void CStation::ShowWebPage(const QByteArray& address)
{
    const QRect widened = WidenedWindowRect(m_savedClientRect, m_context.screen);
    ResizeWindow(widened.size());
    move(widened.topLeft());

    if (!m_browser) {
        const QRect page =
            WebPageRect(m_savedClientRect, m_sizingStrip->geometry(), m_context.screen);
        auto browser = std::make_unique<CExplorer>(nullptr, m_context.webEngine);
        if (browser->Create(page, Client(), kIdWebBrowser))
            m_browser = browser.release();
        else
            qCWarning(lcStation) << "the web view cannot be created; no page is shown";
    }
    if (m_browser && m_browser->Exists()) {
        CentreTitle();
        m_browser->Navigate(DecodeAnsi(address));
        m_browser->show();
        m_browser->setEnabled(true);
        setFocus();
        update();
    }
}

void CStation::showEvent(QShowEvent* event)
{
    SkinnedDialog::showEvent(event);
    // The play time's column is read after the template's own controls, which end with Exit,
    // not woven into them row by row.
    if (QWidget* exit = FindControl(this, kIdExit)) {
        QWidget::setTabOrder(exit, m_nonStop);
        QWidget::setTabOrder(m_nonStop, m_startHourList);
        QWidget::setTabOrder(m_startHourList, m_hourCountList);
    }
    // The wall-clock time lets a benchmark relate the opening to the tray click that asked for it.
    qCInfo(lcStation).nospace() << "radio window shown, epoch_ms="
                                << QDateTime::currentMSecsSinceEpoch();
}

void CStation::CentreTitle()
{
    m_title->move((Client()->width() - m_title->width()) / 2, 5);
}

void CStation::OnHide()
{
    if (m_browserShown == 1) {
        m_hideButton->setText(QStringLiteral("Hide"));
        m_browserShown = 0;
        ResizeWindow(m_savedClientRect.size());
        move(m_savedClientRect.topLeft());
        CentreTitle();
        setFocus();
        CentreOnScreen();
        update();
        return;
    }
    SaveSettingsWindow();
    if (m_randomEveryStart->IsSelected()) {
        // The next start picks a channel at random. What plays now stays the selected
        // channel, so that Stop/Resume from the tray resumes it rather than the list's first.
        SaveLastChannelWithLineEnd(m_context.directory.Package(), QByteArrayLiteral("random"));
    } else if (ReadSavedChannelName() == "random" &&
               !m_context.playback.SelectedChannelName().isEmpty()) {
        // "random" from an earlier Hide would outlive the user's switch to Keep when no channel
        // is chosen in between: keep the one that is selected now. Only the stored "random":
        // a channel saved under another package is the user's own and stays.
        SaveLastChannelWithLineEnd(m_context.directory.Package(),
                                   m_context.playback.SelectedChannelName());
    }
    accept();
}

void CStation::OnExit()
{
    done(1);
    Q_EMIT ExitRequested();
}

void CStation::ShowAbout()
{
    // Parentless: it opens where the window system places it, not over this window.
    CRadioAbout about(m_context.skin, m_context.versionText);
    about.exec();
}

void CStation::ResizeWindow(const QSize& size)
{
    setFixedSize(size);
    Client()->setGeometry(kBorder, kBorder, size.width() - 2 * kBorder,
                          size.height() - 2 * kBorder);
}

void CStation::CentreOnScreen()
{
    move((m_context.screen.width() - width()) / 2, (m_context.screen.height() - height()) / 2);
}
