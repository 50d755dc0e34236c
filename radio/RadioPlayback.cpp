#include "radio/RadioPlayback.h"

#include "app/AnsiText.h"
#include "directory/ChannelDirectory.h"
#include "directory/ContentServer.h"
#include "directory/LocalFiles.h"
#include "hosted/MediaPlayer.h"
#include "radio/EvenLoudness.h"
#include "radio/NowPlaying.h"
#include "radio/StreamKeeper.h"

#include <QLoggingCategory>
#include <QPointer>
#include <QScopeGuard>
#include <QtConcurrent/QtConcurrentRun>

Q_LOGGING_CATEGORY(lcPlayback, "wavelark.playback")

RadioPlayback::RadioPlayback(ChannelDirectory& directory, const ContentServer& server,
                             MessageSink showMessage, QObject* parent)
    : QObject(parent), m_directory(directory), m_server(server)
{
    // Fetches that lost to a newer request end within about a second; a few threads keep a
    // burst of requests from queueing behind them.
    m_fetchers.setMaxThreadCount(4);
    // The message runs its own event loop until the user closes it, and every play request that
    // arrives meanwhile (a held media key, a script on the desktop bus) may fail too: one message
    // at a time, the others go to the log instead of stacking windows one inside the other.
    m_showMessage = [this, sink = std::move(showMessage)](const QByteArray& text) {
        if (m_messageShowing) {
            qCInfo(lcPlayback).noquote()
                << "not shown while another message is open:" << DecodeAnsi(text);
            return;
        }
        if (!sink)
            return;
        const QPointer<RadioPlayback> self(this);
        m_messageShowing = true;
        sink(text);
        if (self)
            m_messageShowing = false;
    };
}

RadioPlayback::~RadioPlayback()
{
    CancelFetch();
    m_cancelAvailability->store(true);
    m_fetchers.waitForDone();
    // The keeper may still report the end of a reconnect while it stops; nothing may reach
    // this object's watchers once its members are being destroyed.
    if (m_keeper)
        disconnect(m_keeper.get(), nullptr, this, nullptr);
    if (m_player)
        disconnect(m_player.get(), nullptr, this, nullptr);
    m_evenLoudness.reset();
    m_keeper.reset();
    m_player.reset();
}

bool RadioPlayback::CreatePlayer()
{
    m_evenLoudness.reset();
    m_keeper.reset();
    m_player = MediaPlayer::Create();
    if (!m_player)
        return false;
    m_player->SetUserAgent(m_server.UserAgent());
    connect(m_player.get(), &MediaPlayer::StreamTitleChanged, this, [this](const QString& title) {
        // A title still in flight from a stream that was just stopped is stale.
        if (m_isPlaying)
            SetStreamTitle(CleanStreamTitle(title));
    });
    m_keeper = std::make_unique<StreamKeeper>(*m_player, m_server.UserAgent());
    connect(m_keeper.get(), &StreamKeeper::ReconnectingChanged, this,
            &RadioPlayback::ReconnectingChanged);
    m_evenLoudness = std::make_unique<EvenLoudness>(*this, *m_player);
    return true;
}

void RadioPlayback::SetReconnectTimer(std::unique_ptr<ReconnectTimer> timer)
{
    if (m_keeper)
        m_keeper->SetTimer(std::move(timer));
}

bool RadioPlayback::IsReconnecting() const
{
    return m_keeper && m_keeper->IsReconnecting();
}

void RadioPlayback::StopKeeping()
{
    if (m_keeper)
        m_keeper->Stop();
}

QString RadioPlayback::SelectedChannelText() const
{
    return DecodeText(m_directory.Encoding(), m_selectedChannelName);
}

int RadioPlayback::Choose(const QByteArray& name, PlayMode mode) const
{
    const int index = ChooseChannel(m_directory.Channels(), name, mode, m_clock);
    if (index < 0)
        qCInfo(lcPlayback) << "nothing to play: no channel can be chosen";
    return index;
}

int RadioPlayback::EntryNumberOf(int recordIndex) const
{
    return m_directory.Channels().records[static_cast<size_t>(recordIndex)].position + 1;
}

quint64 RadioPlayback::NewRequest()
{
    StopKeeping();
    CancelFetch();
    return ++m_request;
}

void RadioPlayback::CancelFetch()
{
    if (m_cancelFetch)
        m_cancelFetch->store(true);
    m_cancelFetch.reset();
}

void RadioPlayback::FetchAddressThen(int recordIndex, quint64 request,
                                     std::function<void(const QByteArray& address)> play)
{
    auto cancel = std::make_shared<std::atomic<bool>>(false);
    m_cancelFetch = cancel;
    ++m_waiting;
    // Copies: the fetch runs on a worker while the window thread goes on.
    QtConcurrent::run(&m_fetchers, [folder = m_directory.Package().PackageFolderAddress,
                                    server = m_server, n = EntryNumberOf(recordIndex), cancel] {
        return cancel->load() ? QByteArray() : FetchEntryText(folder, server, n, cancel.get());
    }).then(this, [this, request, play = std::move(play)](const QByteArray& address) {
        const QPointer<RadioPlayback> self(this);
        const auto settled = qScopeGuard([self] {
            if (self)
                --self->m_waiting;
        });
        if (IsSuperseded(request))
            return;
        if (address.isEmpty()) {
            m_showMessage(QByteArray(kChannelInfoUnavailableMessage));
            // The message waited for the user, and the user may have chosen again.
            if (!self || IsSuperseded(request))
                return;
        }
        play(address);
    });
}

void RadioPlayback::PlayChannel(const QByteArray& name, PlayMode mode)
{
    if (name.isEmpty() || m_shutDown)
        return;
    PlayChosen(name, mode, false);
}

void RadioPlayback::PlayWhenOffered(const QByteArray& name, PlayMode mode)
{
    const QByteArray address = m_directory.BeginAvailability();
    if (address.isEmpty()) {
        PlayChannel(name, mode);
        return;
    }
    // Not a request of its own: anything the user chooses before the answer comes wins.
    const quint64 request = m_request;
    ++m_waiting;
    QtConcurrent::run(&m_fetchers, [address, server = m_server, cancel = m_cancelAvailability] {
        return FetchAvailability(address, server, cancel.get());
    }).then(this, [this, request, name, mode](const QByteArray& flags) {
        --m_waiting;
        m_directory.ApplyAvailability(flags);
        if (m_deferred) {
            const DeferredChoice choice = *std::exchange(m_deferred, std::nullopt);
            if (!m_shutDown)
                PlayChosen(choice.name, choice.mode, choice.saveAsLastChannel);
        } else if (!IsSuperseded(request)) {
            PlayChannel(name, mode);
        }
    });
}

void RadioPlayback::PlayRandomHere()
{
    if (m_shutDown)
        return;
    PlayChosen(QByteArrayLiteral("random"), PlayMode::Random, true);
}

void RadioPlayback::PlayChosen(const QByteArray& name, PlayMode mode, bool saveAsLastChannel)
{
    if (m_directory.IsAvailabilityPending()) {
        // Every record still counts as offered: the choice waits for the answer.
        m_deferred = DeferredChoice{name, mode, saveAsLastChannel};
        return;
    }
    const int index = Choose(name, mode);
    if (index < 0)
        return;
    const quint64 request = NewRequest();
    // A copy: Exit may release the list before the answer comes.
    const QByteArray chosenName = m_directory.Channels().records[static_cast<size_t>(index)].name;
    FetchAddressThen(index, request,
                     [this, chosenName, index, saveAsLastChannel](const QByteArray& address) {
                         SetSelectedChannelName(chosenName);
                         if (saveAsLastChannel)
                             SaveLastChannelWithLineEnd(m_directory.Package(), chosenName);
                         PlayAddress(address, index);
                     });
}

void RadioPlayback::PlayTreeChannel(const QByteArray& name)
{
    if (m_shutDown)
        return;
    SetSelectedChannelName(name);
    if (name.isEmpty())
        return;
    const quint64 request = NewRequest();
    if (m_player)
        m_player->close();
    const auto play = [this, name](const QByteArray& address) {
        SaveLastChannel(m_directory.Package(), name);
        if (PlayAddress(address, m_directory.FindOfferedByName(name)))
            SaveTreeChannel(name);
    };
    // A name no channel carries has no stream file to ask for and nothing to tell the user.
    // Of two records of one name the offered one plays (a favourite whose first record the
    // package no longer offers).
    const int index = m_directory.FindOfferedByName(name);
    if (index < 0)
        play(QByteArray());
    else
        FetchAddressThen(index, request, play);
}

bool RadioPlayback::PlayAddress(const QByteArray& address, int recordIndex)
{
    const QString text = DecodeAnsi(address);
    qCInfo(lcPlayback).noquote() << "playing" << SelectedChannelText() << "from" << text.trimmed();
    if (m_keeper && !address.trimmed().isEmpty() &&
        m_keeper->Start(text, AddressFetchFor(recordIndex))) {
        SetPlaying(true);
        return true;
    }
    // What played belongs to another channel now; stopping it keeps the state honest and lets
    // Resume retry the selected channel.
    StopKeeping();
    if (m_player)
        m_player->close();
    SetPlaying(false);
    return false;
}

bool RadioPlayback::IsSuperseded(quint64 request) const
{
    if (m_shutDown)
        return true;
    if (request == m_request)
        return false;
    // A newer request came while this one waited (for the server, or for the user to close its
    // message); the older answer must not play over it, write a file or change the selection.
    qCInfo(lcPlayback) << "dropped a play request overtaken by a newer one";
    return true;
}

void RadioPlayback::StopOrResume()
{
    if (m_isPlaying) {
        m_deferred.reset();
        // A stop is a newer choice too: nothing still in flight may start playing after it.
        NewRequest();
        if (m_player && m_player->close())
            SetPlaying(false);
        return;
    }
    PlayChannel(m_selectedChannelName, PlayMode::ByName);
}

void RadioPlayback::ToggleMute()
{
    SetMuted(!m_isMuted);
}

void RadioPlayback::SetMuted(bool mute)
{
    if (!m_player || m_isMuted == mute)
        return;
    if (m_player->put_mute(mute))
        SetMutedFlag(mute);
}

bool RadioPlayback::SetVolume(int level)
{
    if (!m_player || !m_player->put_volume(level))
        return false;
    if (level != m_volume) {
        m_volume = level;
        Q_EMIT VolumeChanged(level);
    }
    return true;
}

void RadioPlayback::Shutdown()
{
    m_shutDown = true;
    m_deferred.reset();
    StopKeeping();
    CancelFetch();
    // No later choice makes the offer useless, only the end does; the way out never waits for it.
    m_cancelAvailability->store(true);
    if (m_evenLoudness)
        m_evenLoudness->Save();
}

std::function<QString(const std::atomic<bool>&)>
RadioPlayback::AddressFetchFor(int recordIndex) const
{
    if (recordIndex < 0)
        return {};
    // Copies: the fetch runs on another thread, and the catalogue may change meanwhile.
    const int n = EntryNumberOf(recordIndex);
    const QByteArray folder = m_directory.Package().PackageFolderAddress;
    const ContentServer server = m_server;
    return [n, folder, server](const std::atomic<bool>& cancel) {
        return DecodeAnsi(FetchEntryText(folder, server, n, &cancel));
    };
}

void RadioPlayback::SetPlaying(bool isPlaying)
{
    if (isPlaying == m_isPlaying)
        return;
    m_isPlaying = isPlaying;
    if (!isPlaying)
        SetStreamTitle(QString());
    Q_EMIT PlayingChanged(isPlaying);
}

void RadioPlayback::SetMutedFlag(bool isMuted)
{
    if (isMuted == m_isMuted)
        return;
    m_isMuted = isMuted;
    Q_EMIT MutedChanged(isMuted);
}

void RadioPlayback::SetSelectedChannelName(const QByteArray& name)
{
    if (name == m_selectedChannelName)
        return;
    m_selectedChannelName = name;
    // The title belonged to the previous channel's stream.
    SetStreamTitle(QString());
    Q_EMIT SelectedChannelChanged(name);
}

void RadioPlayback::SetStreamTitle(const QString& title)
{
    if (title == m_streamTitle)
        return;
    m_streamTitle = title;
    Q_EMIT StreamTitleChanged(title);
}
