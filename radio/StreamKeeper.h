#pragma once

#include "radio/ReconnectPolicy.h"
#include "radio/ReconnectTimer.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <atomic>
#include <functional>
#include <memory>
#include <vector>

class MediaPlayer;
struct PlaylistLook;

// Keeps the chosen stream playing. Given a channel's address it plays it, or, when the address
// answers with a playlist, the first of its entries that works (nested playlists to a bounded
// depth). When the stream ends, fails or stalls it reconnects on its own after the pauses of
// ReconnectPolicy, silently apart from one log line per attempt; when the address itself keeps
// failing it asks the content server for the channel's address again, a bounded number of
// times. Network looks and fetches run off the window thread and are cancelled with Stop.
//
// It owns nothing the user sees: the playback object decides what plays and tells it.
class StreamKeeper : public QObject
{
    Q_OBJECT

public:
    // Fetches the channel's address from the content server again. Runs on a worker thread and
    // must end soon once `cancel` is set; the empty text when there is none.
    using AddressFetch = std::function<QString(const std::atomic<bool>& cancel)>;

    static constexpr int kMaxPlaylistDepth = 3;
    // Bounds on one attempt: playlists looked at, and stream addresses tried.
    static constexpr int kMaxLooksPerAttempt = 8;
    static constexpr int kMaxCandidates = 64;

    StreamKeeper(MediaPlayer& player, QByteArray userAgent, QObject* parent = nullptr);
    ~StreamKeeper() override;
    StreamKeeper(const StreamKeeper&) = delete;
    StreamKeeper& operator=(const StreamKeeper&) = delete;

    // Hands `address` to the player at once and keeps it playing from then on. False, and
    // nothing kept, when the player refuses the address. `fetchAgain` may be empty.
    bool Start(const QString& address, AddressFetch fetchAgain);
    // Ends all keeping at once: no pause runs out, no look or fetch reports back. The player
    // is left as it is.
    void Stop();
    // Where the pauses between attempts run out (real time unless a test gives its own).
    void SetTimer(std::unique_ptr<ReconnectTimer> timer);

    bool IsActive() const { return m_active; }
    // True from the moment the stream was lost until audio flows again.
    bool IsReconnecting() const { return m_reconnecting; }

Q_SIGNALS:
    // IsReconnecting changed.
    void ReconnectingChanged(bool reconnecting);

private:
    struct Candidate
    {
        QString address;
        int depth = 0;
    };
    struct Job;

    // The address alone as the attempt's candidate, with nothing looked at yet.
    void ResetAttempt();
    void BeginAttempt();
    void TryCandidate();
    void CandidateFailed();
    void AttemptFailed();
    void Expand(const QStringList& entries);
    void OnLook(const QString& address, const PlaylistLook& look);
    void OnLost(const char* what, const QString& detail);
    void OnFirstAudio();
    void OnPauseOver();
    void OnRefetched(const QString& address);
    // Runs `work` on a worker thread; what it returns runs on this object's thread afterwards,
    // unless Stop came in between.
    void StartJob(std::function<std::function<void()>(const std::atomic<bool>& cancel)> work);
    void ReapJobs(bool all);
    void SetReconnecting(bool reconnecting);

    MediaPlayer& m_player;
    QByteArray m_userAgent;
    ReconnectPolicy m_policy;
    AddressFetch m_fetchAgain;
    QString m_address;
    QList<Candidate> m_candidates;
    qsizetype m_index = 0;
    // Per attempt: addresses looked at, and playlists already unfolded.
    QSet<QString> m_looked;
    QSet<QString> m_unfolded;
    // Addresses known to be playlists, with their entries; forgotten when an attempt fails.
    QHash<QString, QStringList> m_playlists;
    bool m_active = false;
    bool m_waiting = false; // a stream is with the player and its outcome is awaited
    bool m_audio = false;   // the stream with the player has delivered audio
    bool m_reconnecting = false;
    quint64 m_generation = 0;
    std::unique_ptr<ReconnectTimer> m_pause;
    std::vector<std::unique_ptr<Job>> m_jobs;
};
