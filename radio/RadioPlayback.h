#pragma once

#include "directory/StreamFetch.h"
#include "radio/ChannelChoice.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QThreadPool>
#include <atomic>
#include <functional>
#include <memory>
#include <optional>

class ChannelDirectory;
class ContentServer;
class EvenLoudness;
class MediaPlayer;
class ReconnectTimer;
class StreamKeeper;

// Shows a message to the user and returns when the user has closed it; the hidden main window
// connects this to its modal message dialog.
using MessageSink = std::function<void(const QByteArray& text)>;

// What plays: the one player and the playback state that the tray, the radio window, the
// channel tree and the desktop bus share. It is owned by the hidden main window and is not a
// widget; the windows only report what the user asked for and read the state back.
//
// Every change signal is emitted only when its value really changed. Nothing here waits on the
// network on the window thread: the content server is asked on a worker, and each answer comes
// back to the window thread, where it is dropped when a newer request came meanwhile.
class RadioPlayback : public QObject
{
    Q_OBJECT

public:
    RadioPlayback(ChannelDirectory& directory, const ContentServer& server, MessageSink showMessage,
                  QObject* parent = nullptr);
    ~RadioPlayback() override;

    // Creates the player; false when no audio player can be had.
    bool CreatePlayer();
    // Where the pauses before a lost stream's reconnects run out (after CreatePlayer; real time
    // unless a test gives its own).
    void SetReconnectTimer(std::unique_ptr<ReconnectTimer> timer);
    MediaPlayer* Player() const { return m_player.get(); }
    // "Even loudness", once the player exists.
    EvenLoudness* Levelling() const { return m_evenLoudness.get(); }

    // What the user chose: stays true while a lost stream is being reconnected.
    bool IsPlaying() const { return m_isPlaying; }
    // The stream was lost (ended, failed, stalled) and is being reconnected on its own.
    bool IsReconnecting() const;
    bool IsMuted() const { return m_isMuted; }
    // The volume last accepted by the player, 0..100 as the slider stores it (a stored value
    // above 100 is kept as given; the player clamps it).
    int Volume() const { return m_volume; }
    const QByteArray& SelectedChannelName() const { return m_selectedChannelName; }
    // The selected channel's name as text, decoded as the catalogue is encoded.
    QString SelectedChannelText() const;
    // The current title the playing stream sent, cleaned for showing (see CleanStreamTitle);
    // empty while stopped, after a channel change and until the new stream sends one.
    const QString& StreamTitle() const { return m_streamTitle; }

    // True while a request waits for the content server or for its message to be closed.
    bool IsBusy() const { return m_waiting > 0; }

    // Start-up's play: asks the content server which channels the package offers, has the
    // directory apply the answer and then plays as PlayChannel does, unless the user chose
    // something else meanwhile. Until the answer comes no record counts as offered or not: a
    // play request made meanwhile waits for it (the newest one wins) and then chooses among the
    // records the package offers.
    void PlayWhenOffered(const QByteArray& name, PlayMode mode);

    // The tray's and start-up's play: by name (the first record of that name, else the first
    // record) or at random from the clock. Does not write "channel.dat".
    void PlayChannel(const QByteArray& name, PlayMode mode);
    // The radio window's "Random Channel": as the random PlayChannel, and the choice is stored
    // in "channel.dat" (name + LF) so that the next start plays it.
    void PlayRandomHere();
    // The channel tree's start: selects the channel, stops what plays, fetches the channel's
    // address, stores the channel as the last one, plays it and writes "tv.dat" when the player
    // took it.
    void PlayTreeChannel(const QByteArray& name);

    // Stops while playing; otherwise plays the selected channel again by name.
    void StopOrResume();
    // Flips the player's mute state; IsMuted follows only what the player accepted.
    void ToggleMute();
    // Mutes or unmutes; nothing happens when the player already is in that state.
    void SetMuted(bool mute);
    // Hands `level` (0..100) to the player; Volume follows on success.
    bool SetVolume(int level);

    // Exit was chosen: nothing starts playing from now on, even from a fetch still in flight.
    void Shutdown();
    bool IsShutDown() const { return m_shutDown; }

    void SetClock(LocalClock clock) { m_clock = std::move(clock); }

Q_SIGNALS:
    // IsPlaying changed.
    void PlayingChanged(bool isPlaying);
    // IsMuted changed.
    void MutedChanged(bool isMuted);
    // The selected channel's name changed.
    void SelectedChannelChanged(const QByteArray& name);
    // The volume the player accepted changed.
    void VolumeChanged(int level);
    // StreamTitle changed.
    void StreamTitleChanged(const QString& title);
    // IsReconnecting changed.
    void ReconnectingChanged(bool reconnecting);

private:
    // Hands a fetched stream address to the player. An empty address (the fetch failed and
    // the user was told) or one the player refuses stops what plays, so that playback always
    // belongs to the selected channel and the next Resume retries it. A lost stream's address
    // is fetched again for the record at `recordIndex` (-1: never). True when it plays.
    bool PlayAddress(const QByteArray& address, int recordIndex);
    // Plays the record the name or the clock chooses; with saveAsLastChannel the choice is
    // stored in "channel.dat" (name + LF) too. A request that chooses nothing changes nothing:
    // what is fetched or reconnected goes on.
    void PlayChosen(const QByteArray& name, PlayMode mode, bool saveAsLastChannel);
    // The record the random pick or the name chooses, or -1.
    int Choose(const QByteArray& name, PlayMode mode) const;
    // The content server's entry number for a record of the channel list.
    int EntryNumberOf(int recordIndex) const;
    // A new play or stop request: whatever is still in flight loses to it.
    quint64 NewRequest();
    // Fetches the record's stream address on a worker for `request` (from NewRequest, which
    // ended the fetch before); back on the window thread, unless the request was overtaken, a
    // failure is shown to the user and `play` gets the address.
    void FetchAddressThen(int recordIndex, quint64 request,
                          std::function<void(const QByteArray& address)> play);
    // Ends the fetch in flight early; its answer would be dropped anyway.
    void CancelFetch();
    // True when Exit was chosen or a newer play or stop request came after `request`.
    bool IsSuperseded(quint64 request) const;
    // Ends the reconnecting of a lost stream, if any.
    void StopKeeping();
    // Asks the content server for the record's address again, off the window thread.
    std::function<QString(const std::atomic<bool>&)> AddressFetchFor(int recordIndex) const;

    void SetPlaying(bool isPlaying);
    void SetMutedFlag(bool isMuted);
    void SetSelectedChannelName(const QByteArray& name);
    void SetStreamTitle(const QString& title);

    ChannelDirectory& m_directory;
    const ContentServer& m_server;
    MessageSink m_showMessage;
    LocalClock m_clock = SystemLocalClock;
    std::unique_ptr<MediaPlayer> m_player;
    // Declared after the player, which it watches: it goes first.
    std::unique_ptr<StreamKeeper> m_keeper;
    std::unique_ptr<EvenLoudness> m_evenLoudness;
    bool m_isPlaying = false;
    bool m_isMuted = false;
    int m_volume = 0;
    QString m_streamTitle;
    QByteArray m_selectedChannelName;
    bool m_shutDown = false;
    // A play request made while the availability answer has not come waits here.
    struct DeferredChoice
    {
        QByteArray name;
        PlayMode mode = PlayMode::ByName;
        bool saveAsLastChannel = false;
    };
    std::optional<DeferredChoice> m_deferred;
    // Counts play and stop requests; a request still waiting is dropped once a newer one came.
    quint64 m_request = 0;
    // A message is open (its event loop runs inside a fetch's answer).
    bool m_messageShowing = false;
    // Requests waiting for the server or for their message.
    int m_waiting = 0;
    // Set to end the stream-file fetch in flight.
    std::shared_ptr<std::atomic<bool>> m_cancelFetch;
    // Set to end the availability fetch at Exit.
    std::shared_ptr<std::atomic<bool>> m_cancelAvailability = std::make_shared<std::atomic<bool>>();
    // The content server is asked here, never on the window thread. Last: destroyed first, it
    // waits for the fetches still running, which hold copies only.
    QThreadPool m_fetchers;
};
