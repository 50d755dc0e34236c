#pragma once

#include "radio/Options.h"
#include "radio/TitleHistory.h"
#include "radio/TitleNotifier.h"

#include <QByteArray>
#include <QObject>
#include <functional>
#include <memory>

class QMenu;
class RadioPlayback;
class StreamRecorder;

// What the program keeps of what it hears: the recording with its tray check item, the title
// history ("history.txt") with its tray submenu, and the title notifications with their tray
// check item, kept in "wavelark.ini". It follows the playback's titles (already cleaned and
// rate-limited there).
class TitleKeeping : public QObject
{
    Q_OBJECT

public:
    static constexpr int kRecentCount = 10;
    static constexpr int kCommandRecord = 170;
    static constexpr int kCommandTitleNotifications = 171;
    static constexpr char kRecordingFailedMessage[] =
        "Recording stopped: the disk is full or the folder cannot be written.";

    // `showMessage` tells the user that a recording ended on its own.
    TitleKeeping(RadioPlayback& playback, QDBusConnection bus,
                 std::function<void(const QByteArray&)> showMessage, QObject* parent = nullptr);
    ~TitleKeeping() override;

    // Takes the player's stream for recording; before the first stream starts, so that an Ogg
    // stream's headers are known. Nothing happens without a player or when already done.
    void AttachRecorder();

    // Adds this part of the tray menu: Record, the recent titles submenu and the notifications
    // item, each group between separators. The items stay true to the state for as long as `menu`
    // lives, so a menu exported to a status-notifier host can keep them.
    void AddMenuItems(QMenu& menu);
    // The three parts alone, for a menu that places them among other items.
    void AddRecordItem(QMenu& menu);
    void AddRecentTitles(QMenu& menu);
    void AddNotificationsItem(QMenu& menu);

    // "Recent titles": the last kRecentCount titles as "title — channel", newest first; chosen,
    // a title is copied to the clipboard. "No titles yet", greyed, while there are none.
    void FillRecentTitles(QMenu& submenu) const;

    // Records the playing channel from now on into <music folder>/Wavelark/<channel>/, or ends
    // the recording. Nothing is recorded while nothing plays.
    void SetRecording(bool on);
    bool IsRecording() const;
    // Where the channel's recordings go.
    static QString RecordingFolder(const QString& channel);
    StreamRecorder* Recorder() { return m_recorder.get(); }

    void SetTitleNotifications(bool on);
    bool TitleNotifications() const { return m_notifier.IsEnabled(); }

    TitleHistory& History() { return m_history; }
    TitleNotifier& Notifier() { return m_notifier; }

Q_SIGNALS:
    // IsRecording changed.
    void RecordingChanged(bool recording);
    // Title notifications were switched on or off.
    void TitleNotificationsChanged(bool on);

private:
    void OnTitle(const QString& title);

    RadioPlayback& m_playback;
    std::function<void(const QByteArray&)> m_showMessage;
    std::unique_ptr<StreamRecorder> m_recorder;
    TitleHistory m_history;
    TitleNotifier m_notifier;
};
