#include "radio/StreamKeeper.h"

#include "hosted/MediaPlayer.h"
#include "radio/PlaylistLook.h"

#include <QLoggingCategory>
#include <QMetaObject>
#include <thread>

Q_LOGGING_CATEGORY(lcStream, "wavelark.stream")

// A look or fetch on its own thread. Cancelled jobs are only joined later, so that Stop never
// waits for the network.
struct StreamKeeper::Job
{
    std::shared_ptr<std::atomic<bool>> cancel = std::make_shared<std::atomic<bool>>(false);
    std::shared_ptr<std::atomic<bool>> done = std::make_shared<std::atomic<bool>>(false);
    std::thread thread;
};

StreamKeeper::StreamKeeper(MediaPlayer& player, QByteArray userAgent, QObject* parent)
    : QObject(parent), m_player(player), m_userAgent(std::move(userAgent))
{
    SetTimer(std::make_unique<RealTimeReconnectTimer>());
    connect(&m_player, &MediaPlayer::FirstAudio, this, &StreamKeeper::OnFirstAudio);
    connect(&m_player, &MediaPlayer::EndOfStream, this,
            [this] { OnLost("ended", QStringLiteral("end of stream")); });
    connect(&m_player, &MediaPlayer::PlaybackError, this,
            [this](const QString& message) { OnLost("failed", message); });
    connect(&m_player, &MediaPlayer::Stalled, this, [this] {
        OnLost("stalled",
               QStringLiteral("no audio for %1 s").arg(MediaPlayer::kStallTimeout.count() / 1000));
    });
}

StreamKeeper::~StreamKeeper()
{
    Stop();
    // Every job was cancelled; each ends within about a second.
    ReapJobs(true);
}

bool StreamKeeper::Start(const QString& address, AddressFetch fetchAgain)
{
    Stop();
    if (!m_player.put_URL(address))
        return false;
    m_policy.Reset();
    m_playlists.clear();
    m_fetchAgain = std::move(fetchAgain);
    m_address = address.trimmed();
    ResetAttempt();
    m_active = true;
    m_waiting = true;
    m_audio = false;
    return true;
}

void StreamKeeper::SetTimer(std::unique_ptr<ReconnectTimer> timer)
{
    m_pause = std::move(timer);
    connect(m_pause.get(), &ReconnectTimer::Elapsed, this, &StreamKeeper::OnPauseOver);
}

void StreamKeeper::Stop()
{
    if (m_active)
        qCInfo(lcStream) << "no longer keeping the stream";
    m_active = false;
    m_waiting = false;
    ++m_generation;
    m_pause->Stop();
    for (const auto& job : m_jobs)
        job->cancel->store(true);
    ReapJobs(false);
    SetReconnecting(false);
}

void StreamKeeper::ResetAttempt()
{
    m_candidates = {Candidate{m_address, 0}};
    m_index = 0;
    m_looked.clear();
    m_unfolded.clear();
}

void StreamKeeper::BeginAttempt()
{
    ResetAttempt();
    TryCandidate();
}

void StreamKeeper::TryCandidate()
{
    while (m_index < m_candidates.size()) {
        const Candidate candidate = m_candidates[m_index];
        // A playlist already read in this run is unfolded without asking the player first.
        const auto known = m_playlists.constFind(candidate.address);
        if (known != m_playlists.cend() && candidate.depth < kMaxPlaylistDepth &&
            !m_unfolded.contains(candidate.address)) {
            Expand(*known);
            continue;
        }
        if (m_index > 0 || candidate.depth > 0)
            qCInfo(lcStream).noquote() << "trying playlist entry" << candidate.address;
        if (m_player.put_URL(candidate.address)) {
            m_waiting = true;
            m_audio = false;
            return;
        }
        ++m_index;
    }
    AttemptFailed();
}

void StreamKeeper::Expand(const QStringList& entries)
{
    const Candidate playlist = m_candidates[m_index];
    m_unfolded.insert(playlist.address);
    m_candidates.removeAt(m_index);
    qsizetype at = m_index;
    for (const QString& entry : entries) {
        if (m_candidates.size() >= kMaxCandidates)
            break;
        m_candidates.insert(at++, Candidate{entry, playlist.depth + 1});
    }
}

void StreamKeeper::CandidateFailed()
{
    const Candidate candidate = m_candidates[m_index];
    if (candidate.depth < kMaxPlaylistDepth && m_looked.size() < kMaxLooksPerAttempt &&
        !m_looked.contains(candidate.address)) {
        // Perhaps a playlist: GStreamer plays none of them but HLS.
        m_looked.insert(candidate.address);
        const QString address = candidate.address;
        const QByteArray agent = m_userAgent;
        StartJob([this, address, agent](const std::atomic<bool>& cancel) {
            const PlaylistLook look = LookForPlaylist(address, agent, &cancel);
            return std::function<void()>([this, address, look] { OnLook(address, look); });
        });
        return;
    }
    ++m_index;
    TryCandidate();
}

void StreamKeeper::OnLook(const QString& address, const PlaylistLook& look)
{
    if (m_index >= m_candidates.size() || m_candidates[m_index].address != address)
        return;
    const PlaylistKind kind = look.playlist.kind;
    if (kind != PlaylistKind::NotAPlaylist && kind != PlaylistKind::Hls &&
        !look.playlist.entries.isEmpty()) {
        qCInfo(lcStream).noquote() << address << "is a" << PlaylistKindName(kind) << "playlist of"
                                   << look.playlist.entries.size() << "stream address(es)";
        m_playlists.insert(address, look.playlist.entries);
        Expand(look.playlist.entries);
        TryCandidate();
        return;
    }
    if (!look.answered)
        qCInfo(lcStream).noquote() << "cannot reach" << address << "-" << look.error;
    else if (kind != PlaylistKind::NotAPlaylist)
        qCInfo(lcStream).noquote()
            << address << "is a" << PlaylistKindName(kind) << "playlist with nothing playable";
    ++m_index;
    TryCandidate();
}

void StreamKeeper::AttemptFailed()
{
    // Playlists are read afresh next time: their entries may have changed.
    m_playlists.clear();
    m_waiting = false;
    const std::chrono::seconds pause = m_policy.StreamLost();
    qCInfo(lcStream).noquote() << QStringLiteral("nothing of %1 plays; attempt %2 in %3 s")
                                      .arg(m_address)
                                      .arg(m_policy.NextAttempt())
                                      .arg(pause.count());
    SetReconnecting(true);
    m_pause->Start(pause);
}

void StreamKeeper::OnLost(const char* what, const QString& detail)
{
    if (!m_active || !m_waiting)
        return;
    m_waiting = false;
    if (!m_audio) {
        CandidateFailed();
        return;
    }
    m_audio = false;
    const std::chrono::seconds pause = m_policy.StreamLost();
    qCInfo(lcStream).noquote() << QStringLiteral("the stream %1 (%2); reconnecting in %3 s, "
                                                 "attempt %4")
                                      .arg(QLatin1String(what), detail)
                                      .arg(pause.count())
                                      .arg(m_policy.NextAttempt());
    SetReconnecting(true);
    m_pause->Start(pause);
}

void StreamKeeper::OnFirstAudio()
{
    if (!m_active || !m_waiting || m_audio)
        return;
    m_audio = true;
    m_policy.AudioStarted();
    if (m_reconnecting)
        qCInfo(lcStream).noquote() << "playing again:" << m_candidates.value(m_index).address;
    SetReconnecting(false);
}

void StreamKeeper::OnPauseOver()
{
    if (!m_active)
        return;
    if (m_fetchAgain && m_policy.TakeRefetch()) {
        qCInfo(lcStream) << "the address keeps failing; asking the content server for it again";
        const AddressFetch fetch = m_fetchAgain;
        StartJob([this, fetch](const std::atomic<bool>& cancel) {
            const QString address = fetch(cancel).trimmed();
            return std::function<void()>([this, address] { OnRefetched(address); });
        });
        return;
    }
    qCInfo(lcStream).noquote() << "reconnecting to" << m_address;
    BeginAttempt();
}

void StreamKeeper::OnRefetched(const QString& address)
{
    if (address.isEmpty())
        qCInfo(lcStream) << "the content server gave no address; keeping the old one";
    else if (address != m_address)
        qCInfo(lcStream).noquote() << "the channel moved to" << address;
    if (!address.isEmpty())
        m_address = address;
    qCInfo(lcStream).noquote() << "reconnecting to" << m_address;
    BeginAttempt();
}

void StreamKeeper::StartJob(
    std::function<std::function<void()>(const std::atomic<bool>& cancel)> work)
{
    ReapJobs(false);
    auto job = std::make_unique<Job>();
    const quint64 generation = m_generation;
    job->thread = std::thread(
        [this, work = std::move(work), cancel = job->cancel, done = job->done, generation] {
            std::function<void()> next = work(*cancel);
            // The keeper joins this thread before it goes away, so posting to it is safe here.
            if (!cancel->load()) {
                QMetaObject::invokeMethod(
                    this,
                    [this, next = std::move(next), generation] {
                        if (m_active && generation == m_generation)
                            next();
                    },
                    Qt::QueuedConnection);
            }
            done->store(true);
        });
    m_jobs.push_back(std::move(job));
}

void StreamKeeper::ReapJobs(bool all)
{
    for (auto it = m_jobs.begin(); it != m_jobs.end();) {
        if (all || (*it)->done->load()) {
            (*it)->thread.join();
            it = m_jobs.erase(it);
        } else {
            ++it;
        }
    }
}

void StreamKeeper::SetReconnecting(bool reconnecting)
{
    if (reconnecting == m_reconnecting)
        return;
    m_reconnecting = reconnecting;
    Q_EMIT ReconnectingChanged(reconnecting);
}
