#include "radio/TitleKeeping.h"

#include "hosted/RecordingNames.h"
#include "hosted/StreamRecorder.h"
#include "radio/NowPlaying.h"
#include "radio/RadioPlayback.h"

#include <QAction>
#include <QClipboard>
#include <QDir>
#include <QGuiApplication>
#include <QLoggingCategory>
#include <QMenu>
#include <QStandardPaths>

Q_LOGGING_CATEGORY(lcKeeping, "wavelark.keeping")

namespace {

// A menu shows "&" as the mark of a shortcut key; a title's own must show as it is.
QString MenuText(const QString& text)
{
    QString escaped = text;
    return escaped.replace(QLatin1Char('&'), QLatin1String("&&"));
}

} // namespace

TitleKeeping::TitleKeeping(RadioPlayback& playback, QDBusConnection bus,
                           std::function<void(const QByteArray&)> showMessage, QObject* parent)
    : QObject(parent), m_playback(playback), m_showMessage(std::move(showMessage)),
      m_history(QStringLiteral("history.txt")), m_notifier(std::move(bus))
{
    m_history.Load();
    m_notifier.SetEnabled(Options::Value(Options::kTitleNotifications, false).toBool());
    connect(&m_playback, &RadioPlayback::StreamTitleChanged, this, &TitleKeeping::OnTitle);
    // Stop, a lost stream given up, or another channel end the recording.
    connect(&m_playback, &RadioPlayback::PlayingChanged, this, [this](int playing) {
        if (playing != 1)
            SetRecording(false);
    });
    connect(&m_playback, &RadioPlayback::SelectedChannelChanged, this,
            [this] { SetRecording(false); });
    AttachRecorder();
}

TitleKeeping::~TitleKeeping() = default;

void TitleKeeping::AttachRecorder()
{
    if (m_recorder || !m_playback.Player())
        return;
    m_recorder = std::make_unique<StreamRecorder>(*m_playback.Player());
    connect(m_recorder.get(), &StreamRecorder::RecordingChanged, this,
            &TitleKeeping::RecordingChanged);
    connect(m_recorder.get(), &StreamRecorder::Failed, this, [this](const QString& reason) {
        qCWarning(lcKeeping).noquote() << "recording stopped:" << reason;
        if (m_showMessage)
            m_showMessage(QByteArray(kRecordingFailedMessage));
    });
}

QString TitleKeeping::RecordingFolder(const QString& channel)
{
    QString music = QStandardPaths::writableLocation(QStandardPaths::MusicLocation);
    if (music.isEmpty())
        music = QDir::homePath() + QStringLiteral("/Music");
    return music + QStringLiteral("/Wavelark/") + SafeNamePart(channel);
}

bool TitleKeeping::IsRecording() const
{
    return m_recorder && m_recorder->IsRecording();
}

void TitleKeeping::SetRecording(bool on)
{
    if (!m_recorder || on == m_recorder->IsRecording())
        return;
    if (!on) {
        m_recorder->Stop();
        return;
    }
    if (m_playback.IsPlaying() != 1) {
        // Nothing to record: the item falls back.
        Q_EMIT RecordingChanged(false);
        return;
    }
    const QString channel = m_playback.SelectedChannelText();
    m_recorder->Start(RecordingFolder(channel), channel, m_playback.StreamTitle());
}

void TitleKeeping::OnTitle(const QString& title)
{
    const QString channel = m_playback.SelectedChannelText();
    m_history.Add(channel, title);
    m_notifier.Offer(title, channel);
    if (m_recorder && !title.isEmpty())
        m_recorder->OfferTitle(title);
}

void TitleKeeping::SetTitleNotifications(bool on)
{
    if (on == m_notifier.IsEnabled())
        return;
    m_notifier.SetEnabled(on);
    Options::SetValue(Options::kTitleNotifications, on);
    Q_EMIT TitleNotificationsChanged(on);
}

void TitleKeeping::FillRecentTitles(QMenu& submenu) const
{
    submenu.clear();
    const QList<TitleEntry> recent = m_history.Recent(kRecentCount);
    if (recent.isEmpty()) {
        submenu.addAction(QStringLiteral("No titles yet"))->setEnabled(false);
        return;
    }
    for (const TitleEntry& entry : recent) {
        // Titles from a damaged file are shown as cleaned as those heard now.
        const QString title = CleanStreamTitle(entry.title);
        QAction* item = submenu.addAction(
            MenuText(title + QStringLiteral(" \u2014 ") + CleanStreamTitle(entry.channel)));
        connect(item, &QAction::triggered, item, [title] {
            if (QClipboard* clipboard = QGuiApplication::clipboard())
                clipboard->setText(title);
        });
    }
}

void TitleKeeping::AddMenuItems(QMenu& menu)
{
    menu.addSeparator();
    AddRecordItem(menu);
    menu.addSeparator();
    AddRecentTitles(menu);
    menu.addSeparator();
    AddNotificationsItem(menu);
    menu.addSeparator();
}

void TitleKeeping::AddRecordItem(QMenu& menu)
{
    QAction* record = menu.addAction(QStringLiteral("Record"));
    record->setData(kCommandRecord);
    record->setCheckable(true);
    record->setChecked(IsRecording());
    connect(record, &QAction::toggled, this, &TitleKeeping::SetRecording);
    connect(this, &TitleKeeping::RecordingChanged, record, &QAction::setChecked);
}

void TitleKeeping::AddRecentTitles(QMenu& menu)
{
    QMenu* recent = menu.addMenu(QStringLiteral("Recent titles"));
    FillRecentTitles(*recent);
    connect(&m_history, &TitleHistory::Changed, recent,
            [this, recent] { FillRecentTitles(*recent); });
}

void TitleKeeping::AddNotificationsItem(QMenu& menu)
{
    QAction* notifications = menu.addAction(QStringLiteral("Title notifications"));
    notifications->setData(kCommandTitleNotifications);
    notifications->setCheckable(true);
    notifications->setChecked(TitleNotifications());
    connect(notifications, &QAction::toggled, this, &TitleKeeping::SetTitleNotifications);
    connect(this, &TitleKeeping::TitleNotificationsChanged, notifications, &QAction::setChecked);
}
