#include "hosted/StreamRecorder.h"

#include "hosted/MediaPlayer.h"
#include "hosted/OggPages.h"
#include "hosted/RecordingNames.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QHash>
#include <QLoggingCategory>
#include <QMetaObject>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <fcntl.h>
#include <gst/gst.h>
#include <mutex>
#include <sys/stat.h>
#include <taglib/id3v2tag.h>
#include <taglib/mpegfile.h>
#include <taglib/tstring.h>
#include <thread>
#include <unistd.h>

Q_LOGGING_CATEGORY(lcRecorder, "wavelark.recorder")

// Named, not anonymous: the shared state below holds these types.
namespace streamrecorder {

constexpr qsizetype kTypeSniffBytes = 16 * 1024;
constexpr int kFlushTimeoutMs = 10000;

// Where a piece of the stream was taken: the HTTP source itself, or a demuxer that took
// Shoutcast metadata (icydemux) or HLS playlists (hlsdemux) out of it.
enum class FeedKind { Source, Icy, Hls };

struct Item
{
    enum Kind { Data, Title, NewStream, Start, Stop, Flush };
    Kind kind = Data;
    QByteArray bytes;
    QString text;
    QString folder;
    QString channel;
    quint64 feed = 0; // 0: the player's own title announcement
    FeedKind feedKind = FeedKind::Source;
};

TagLib::String TagText(const QString& text)
{
    return TagLib::String(text.toUtf8().toStdString(), TagLib::String::UTF8);
}

bool WriteAll(int fd, const char* data, qsizetype size)
{
    while (size > 0) {
        const ssize_t written = ::write(fd, data, static_cast<size_t>(size));
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data += written;
        size -= written;
    }
    return true;
}

} // namespace streamrecorder

using namespace streamrecorder;

// Shared by the recorder, its writer thread and GStreamer's streaming threads, which hold their
// own references through the probes and signal handlers.
struct StreamRecorder::Tap
{
    std::mutex mutex;
    std::condition_variable wake;
    std::condition_variable flushed;
    std::deque<Item> items;    // guarded by mutex
    qsizetype queuedBytes = 0; // guarded by mutex
    bool overflow = false;     // guarded by mutex
    bool quit = false;         // guarded by mutex
    quint64 flushAsked = 0;    // guarded by mutex
    quint64 flushDone = 0;     // guarded by mutex
    std::atomic<quint64> nextFeed{1};

    std::mutex ownerMutex;
    StreamRecorder* owner = nullptr; // guarded by ownerMutex

    std::thread thread;
    GstElement* playbin = nullptr;
    gulong sourceHandler = 0;
    gulong elementHandler = 0;

    // Any thread. Data beyond the bound is dropped and ends the recording.
    void Push(Item item)
    {
        {
            const std::lock_guard lock(mutex);
            if (quit)
                return;
            if (item.kind == Item::Data) {
                if (queuedBytes + item.bytes.size() > kMaxQueuedBytes) {
                    overflow = true;
                    wake.notify_one();
                    return;
                }
                queuedBytes += item.bytes.size();
            }
            items.push_back(std::move(item));
        }
        wake.notify_one();
    }

    template <typename F> void Post(F call)
    {
        const std::lock_guard lock(ownerMutex);
        if (!owner)
            return;
        StreamRecorder* target = owner;
        QMetaObject::invokeMethod(
            target, [target, call] { call(*target); }, Qt::QueuedConnection);
    }
};

namespace streamrecorder {

// What a probe knows: the tap it feeds and which feed it is.
struct FeedRef
{
    std::shared_ptr<StreamRecorder::Tap> tap;
    quint64 feed;
    FeedKind kind;
};

void ReleaseFeed(gpointer data)
{
    delete static_cast<FeedRef*>(data);
}

void ReleaseTap(gpointer data, GClosure*)
{
    delete static_cast<std::shared_ptr<StreamRecorder::Tap>*>(data);
}

void PushBuffer(const FeedRef& ref, GstBuffer* buffer)
{
    GstMapInfo map;
    if (!gst_buffer_map(buffer, &map, GST_MAP_READ))
        return;
    Item item;
    item.kind = Item::Data;
    item.feed = ref.feed;
    item.feedKind = ref.kind;
    item.bytes = QByteArray(reinterpret_cast<const char*>(map.data), qsizetype(map.size));
    gst_buffer_unmap(buffer, &map);
    ref.tap->Push(std::move(item));
}

// Streaming thread: copies the bytes (and titles) for the writer, never waits.
GstPadProbeReturn OnFeedData(GstPad* pad, GstPadProbeInfo* info, gpointer data)
{
    const FeedRef& ref = *static_cast<FeedRef*>(data);
    if (info->type & GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM) {
        GstEvent* event = GST_PAD_PROBE_INFO_EVENT(info);
        if (GST_EVENT_TYPE(event) != GST_EVENT_TAG || ref.kind != FeedKind::Icy)
            return GST_PAD_PROBE_OK;
        GstTagList* tags = nullptr;
        gst_event_parse_tag(event, &tags);
        gchar* title = nullptr;
        if (tags && gst_tag_list_get_string(tags, GST_TAG_TITLE, &title)) {
            Item item;
            item.kind = Item::Title;
            item.feed = ref.feed;
            item.feedKind = ref.kind;
            item.text = QString::fromUtf8(title);
            g_free(title);
            ref.tap->Push(std::move(item));
        }
        return GST_PAD_PROBE_OK;
    }
    if (ref.kind == FeedKind::Source) {
        // Shoutcast metadata is still inside these bytes: icydemux's output is taken instead.
        if (GstCaps* caps = gst_pad_get_current_caps(pad)) {
            const bool icy =
                gst_caps_get_size(caps) > 0 &&
                gst_structure_has_name(gst_caps_get_structure(caps, 0), "application/x-icy");
            gst_caps_unref(caps);
            if (icy)
                return GST_PAD_PROBE_OK;
        }
    }
    if (info->type & GST_PAD_PROBE_TYPE_BUFFER) {
        PushBuffer(ref, GST_PAD_PROBE_INFO_BUFFER(info));
    } else if (info->type & GST_PAD_PROBE_TYPE_BUFFER_LIST) {
        GstBufferList* list = GST_PAD_PROBE_INFO_BUFFER_LIST(info);
        for (guint i = 0; i < gst_buffer_list_length(list); ++i)
            PushBuffer(ref, gst_buffer_list_get(list, i));
    }
    return GST_PAD_PROBE_OK;
}

void TapPad(GstPad* pad, const std::shared_ptr<StreamRecorder::Tap>& tap, FeedKind kind)
{
    auto* ref = new FeedRef{tap, tap->nextFeed.fetch_add(1), kind};
    gst_pad_add_probe(pad,
                      GstPadProbeType(GST_PAD_PROBE_TYPE_BUFFER | GST_PAD_PROBE_TYPE_BUFFER_LIST |
                                      GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM),
                      &OnFeedData, ref, &ReleaseFeed);
}

// Whichever thread makes the source (the one that starts the stream): a new stream begins.
void OnSourceSetup(GstElement*, GstElement* source, gpointer data)
{
    const auto& tap = *static_cast<std::shared_ptr<StreamRecorder::Tap>*>(data);
    Item item;
    item.kind = Item::NewStream;
    tap->Push(std::move(item));
    if (GstPad* pad = gst_element_get_static_pad(source, "src")) {
        TapPad(pad, tap, FeedKind::Source);
        gst_object_unref(pad);
    }
}

void OnDemuxPad(GstElement* demux, GstPad* pad, gpointer data)
{
    if (GST_PAD_DIRECTION(pad) != GST_PAD_SRC)
        return;
    const auto& tap = *static_cast<std::shared_ptr<StreamRecorder::Tap>*>(data);
    GstElementFactory* factory = gst_element_get_factory(demux);
    const bool icy = factory && g_str_equal(GST_OBJECT_NAME(factory), "icydemux");
    TapPad(pad, tap, icy ? FeedKind::Icy : FeedKind::Hls);
}

void OnElementSetup(GstElement*, GstElement* element, gpointer data)
{
    GstElementFactory* factory = gst_element_get_factory(element);
    if (!factory)
        return;
    const gchar* name = GST_OBJECT_NAME(factory);
    if (!g_str_equal(name, "icydemux") && !g_str_equal(name, "hlsdemux") &&
        !g_str_equal(name, "hlsdemux2"))
        return;
    const auto& tap = *static_cast<std::shared_ptr<StreamRecorder::Tap>*>(data);
    g_signal_connect_data(element, "pad-added", G_CALLBACK(&OnDemuxPad),
                          new std::shared_ptr<StreamRecorder::Tap>(tap), &ReleaseTap,
                          GConnectFlags(0));
}

} // namespace streamrecorder

// The writer thread's own state: which feed of the stream is recorded, the open file.
struct StreamRecorder::Writer
{
    explicit Writer(Tap& tap) : m_tap(tap) {}

    void Run()
    {
        for (;;) {
            std::deque<Item> batch;
            bool overflow = false;
            {
                std::unique_lock lock(m_tap.mutex);
                m_tap.wake.wait(
                    lock, [this] { return m_tap.quit || m_tap.overflow || !m_tap.items.empty(); });
                batch.swap(m_tap.items);
                m_tap.queuedBytes = 0;
                overflow = std::exchange(m_tap.overflow, false);
                if (m_tap.quit && batch.empty()) {
                    CloseFile();
                    return;
                }
            }
            quint64 flushes = 0;
            for (Item& item : batch) {
                if (item.kind == Item::Flush)
                    ++flushes;
                else
                    Handle(item);
            }
            if (overflow && m_recording)
                Fail(QStringLiteral("the disk cannot keep up with the stream"));
            if (flushes) {
                {
                    const std::lock_guard lock(m_tap.mutex);
                    m_tap.flushDone += flushes;
                }
                m_tap.flushed.notify_all();
            }
        }
    }

private:
    struct Feed
    {
        FeedKind kind = FeedKind::Source;
        QByteArray sniffed;
        bool rejected = false;
    };

    void Handle(Item& item)
    {
        switch (item.kind) {
        case Item::NewStream:
            CloseFile();
            m_feeds.clear();
            m_chosen = 0;
            m_extension.clear();
            m_ogg = OggPages();
            m_inBandTitle.clear();
            m_pendingSplit = false;
            break;
        case Item::Start:
            m_recording = true;
            m_folder = item.folder;
            m_channel = item.channel;
            m_fileTitle = ChosenKind() == FeedKind::Icy ? m_inBandTitle : item.text;
            m_pendingSplit = false;
            break;
        case Item::Stop:
            CloseFile();
            m_recording = false;
            break;
        case Item::Title:
            OnTitle(item);
            break;
        case Item::Data:
            OnData(item);
            break;
        case Item::Flush:
            break;
        }
    }

    std::optional<FeedKind> ChosenKind() const
    {
        const auto found = m_feeds.find(m_chosen);
        return found == m_feeds.end() ? std::nullopt : std::optional(found->kind);
    }

    void OnTitle(const Item& item)
    {
        if (item.feed != 0) {
            // Shoutcast metadata, exactly where it sat in the stream.
            m_feeds[item.feed].kind = item.feedKind;
            if (m_chosen != 0 && m_chosen != item.feed)
                return;
            m_inBandTitle = item.text;
            SplitAt(item.text, false);
            return;
        }
        // The player's announcement, some time after the bytes: only for streams whose bytes
        // carry no Shoutcast titles where they are taken.
        if (ChosenKind() == FeedKind::Icy)
            return;
        SplitAt(item.text, IsOgg());
    }

    void SplitAt(const QString& title, bool atNextPage)
    {
        if (!m_recording || title == m_fileTitle)
            return;
        if (atNextPage) {
            m_pendingSplit = true;
            m_pendingTitle = title;
            return;
        }
        CloseFile();
        m_fileTitle = title;
    }

    bool IsOgg() const
    {
        return m_extension == QLatin1String("ogg") || m_extension == QLatin1String("opus");
    }

    void OnData(const Item& item)
    {
        if (m_chosen == 0) {
            Feed& feed = m_feeds[item.feed];
            feed.kind = item.feedKind;
            if (feed.rejected)
                return;
            feed.sniffed += item.bytes;
            const QString extension = StreamExtension(feed.sniffed);
            if (extension.isEmpty()) {
                if (feed.sniffed.size() > kTypeSniffBytes) {
                    qCInfo(lcRecorder) << "not a stream type that can be recorded";
                    feed.rejected = true;
                    feed.sniffed.clear();
                }
                return;
            }
            m_chosen = item.feed;
            m_extension = extension;
            const QByteArray first = std::exchange(feed.sniffed, QByteArray());
            Take(first);
            return;
        }
        if (item.feed == m_chosen)
            Take(item.bytes);
    }

    void Take(const QByteArray& bytes)
    {
        if (!IsOgg()) {
            if (m_recording && OpenFile())
                Write(bytes);
            return;
        }
        QList<OggPages::Page> pages;
        m_ogg.Feed(bytes, pages);
        for (const OggPages::Page& page : pages)
            TakeOggPage(page);
    }

    void TakeOggPage(const OggPages::Page& page)
    {
        if (!m_recording)
            return;
        if (page.beginsChain) {
            // A new chain carries its own headers: a file may begin right here.
            CloseFile();
            if (m_pendingSplit)
                m_fileTitle = m_pendingTitle;
            m_pendingSplit = false;
            if (OpenFile())
                Write(page.bytes);
            return;
        }
        if (page.header) {
            if (m_fd >= 0)
                Write(page.bytes);
            return;
        }
        if (m_pendingSplit && m_ogg.HeadersComplete()) {
            CloseFile();
            m_fileTitle = m_pendingTitle;
            m_pendingSplit = false;
        }
        if (m_fd < 0) {
            // A file begun mid-stream starts with the stream's headers, or not at all.
            if (!m_ogg.HeadersComplete() || !OpenFile() || !Write(m_ogg.Headers()))
                return;
        }
        Write(page.bytes);
    }

    bool OpenFile()
    {
        if (m_fd >= 0)
            return true;
        if (!QDir().mkpath(m_folder)) {
            Fail(QStringLiteral("the folder %1 cannot be made").arg(m_folder));
            return false;
        }
        const QString name =
            RecordingFileName(QDateTime::currentDateTime(),
                              m_fileTitle.isEmpty() ? m_channel : m_fileTitle, m_extension);
        const QString stem = name.left(name.size() - m_extension.size() - 1);
        for (int attempt = 1; attempt <= 20 && m_fd < 0; ++attempt) {
            m_path = QDir(m_folder).filePath(
                attempt == 1
                    ? name
                    : QStringLiteral("%1 (%2).%3").arg(stem).arg(attempt).arg(m_extension));
            m_fd = ::open(QFile::encodeName(m_path).constData(),
                          O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
            if (m_fd < 0 && errno != EEXIST) {
                Fail(QStringLiteral("%1 cannot be written: %2")
                         .arg(m_path, QString::fromLocal8Bit(std::strerror(errno))));
                return false;
            }
        }
        if (m_fd < 0) {
            Fail(QStringLiteral("no free file name in %1").arg(m_folder));
            return false;
        }
        m_written = 0;
        qCInfo(lcRecorder) << "recording to" << m_path;
        return true;
    }

    bool Write(const QByteArray& bytes)
    {
        if (m_fd < 0)
            return false;
        if (WriteAll(m_fd, bytes.constData(), bytes.size())) {
            m_written += bytes.size();
            return true;
        }
        const QString reason = QString::fromLocal8Bit(std::strerror(errno));
        // The file keeps only whole pieces of what was taken.
        [[maybe_unused]] const int cut = ::ftruncate(m_fd, m_written);
        Fail(QStringLiteral("%1 cannot be written: %2").arg(m_path, reason));
        return false;
    }

    void CloseFile()
    {
        if (m_fd < 0)
            return;
        ::close(m_fd);
        m_fd = -1;
        const QString path = m_path;
        if (m_written == 0) {
            QFile::remove(path);
            return;
        }
        if (m_extension == QLatin1String("mp3"))
            TagMp3(path);
        qCInfo(lcRecorder) << "finished" << path;
        m_tap.Post([path](StreamRecorder& recorder) { Q_EMIT recorder.FileFinished(path); });
    }

    // Adds an ID3v2 tag to a closed MP3 file: the tagged copy replaces it only when complete,
    // so a full disk leaves the untagged file whole.
    void TagMp3(const QString& path)
    {
        const QString copy = QFileInfo(path).dir().filePath(
            QStringLiteral(".") + QFileInfo(path).fileName() + QStringLiteral(".tagging"));
        const QByteArray copyName = QFile::encodeName(copy);
        bool done = false;
        {
            const int in = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
            const int out = ::open(copyName.constData(),
                                   O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
            bool copied = in >= 0 && out >= 0;
            char buffer[64 * 1024];
            while (copied) {
                const ssize_t got = ::read(in, buffer, sizeof buffer);
                if (got < 0 && errno == EINTR)
                    continue;
                if (got <= 0) {
                    copied = got == 0;
                    break;
                }
                copied = WriteAll(out, buffer, got);
            }
            if (in >= 0)
                ::close(in);
            if (out >= 0)
                copied = ::close(out) == 0 && copied;
            if (copied) {
                const auto [artist, title] = SplitArtistAndTitle(m_fileTitle);
                TagLib::MPEG::File file(copyName.constData(), false);
                if (file.isValid()) {
                    TagLib::ID3v2::Tag* tag = file.ID3v2Tag(true);
                    tag->setArtist(TagText(artist));
                    tag->setTitle(TagText(title.isEmpty() ? m_channel : title));
                    tag->setAlbum(TagText(m_channel));
                    done = file.save(TagLib::MPEG::File::ID3v2);
                }
            }
        }
        if (done)
            done = ::rename(copyName.constData(), QFile::encodeName(path).constData()) == 0;
        if (!done) {
            ::unlink(copyName.constData());
            qCWarning(lcRecorder) << "could not tag" << path;
        }
    }

    void Fail(const QString& reason)
    {
        qCWarning(lcRecorder).noquote() << "recording ended:" << reason;
        CloseFile();
        if (!m_recording)
            return;
        m_recording = false;
        m_tap.Post([reason](StreamRecorder& recorder) { recorder.OnFailed(reason); });
    }

    Tap& m_tap;
    bool m_recording = false;
    QString m_folder;
    QString m_channel;
    QString m_fileTitle;
    QString m_inBandTitle;
    bool m_pendingSplit = false;
    QString m_pendingTitle;
    QHash<quint64, Feed> m_feeds;
    quint64 m_chosen = 0;
    QString m_extension;
    OggPages m_ogg;
    int m_fd = -1;
    QString m_path;
    qint64 m_written = 0;
};

StreamRecorder::StreamRecorder(MediaPlayer& player, QObject* parent)
    : QObject(parent), m_tap(std::make_shared<Tap>())
{
    {
        const std::lock_guard lock(m_tap->ownerMutex);
        m_tap->owner = this;
    }
    m_tap->thread = std::thread([tap = m_tap] { Writer(*tap).Run(); });
    GstElement* playbin = player.Playbin();
    m_tap->playbin = GST_ELEMENT(gst_object_ref(playbin));
    m_tap->sourceHandler =
        g_signal_connect_data(playbin, "source-setup", G_CALLBACK(&OnSourceSetup),
                              new std::shared_ptr<Tap>(m_tap), &ReleaseTap, GConnectFlags(0));
    m_tap->elementHandler =
        g_signal_connect_data(playbin, "element-setup", G_CALLBACK(&OnElementSetup),
                              new std::shared_ptr<Tap>(m_tap), &ReleaseTap, GConnectFlags(0));
}

StreamRecorder::~StreamRecorder()
{
    g_signal_handler_disconnect(m_tap->playbin, m_tap->sourceHandler);
    g_signal_handler_disconnect(m_tap->playbin, m_tap->elementHandler);
    gst_object_unref(m_tap->playbin);
    {
        const std::lock_guard lock(m_tap->ownerMutex);
        m_tap->owner = nullptr;
    }
    {
        const std::lock_guard lock(m_tap->mutex);
        Item stop;
        stop.kind = Item::Stop;
        m_tap->items.push_back(std::move(stop));
        m_tap->quit = true;
    }
    m_tap->wake.notify_one();
    // The writer closes and tags the last file; probes still on the stream's pads drop.
    m_tap->thread.join();
}

void StreamRecorder::Start(const QString& folder, const QString& channel, const QString& title)
{
    Item item;
    item.kind = Item::Start;
    item.folder = folder;
    item.channel = channel;
    item.text = title;
    m_tap->Push(std::move(item));
    if (!m_recording) {
        m_recording = true;
        Q_EMIT RecordingChanged(true);
    }
}

void StreamRecorder::Stop()
{
    Item item;
    item.kind = Item::Stop;
    m_tap->Push(std::move(item));
    if (m_recording) {
        m_recording = false;
        Q_EMIT RecordingChanged(false);
    }
}

void StreamRecorder::OfferTitle(const QString& title)
{
    Item item;
    item.kind = Item::Title;
    item.text = title;
    m_tap->Push(std::move(item));
}

void StreamRecorder::Flush()
{
    quint64 asked = 0;
    {
        const std::lock_guard lock(m_tap->mutex);
        asked = ++m_tap->flushAsked;
        Item item;
        item.kind = Item::Flush;
        m_tap->items.push_back(std::move(item));
    }
    m_tap->wake.notify_one();
    std::unique_lock lock(m_tap->mutex);
    m_tap->flushed.wait_for(lock, std::chrono::milliseconds(kFlushTimeoutMs),
                            [this, asked] { return m_tap->flushDone >= asked; });
}

void StreamRecorder::OnFailed(const QString& reason)
{
    if (!m_recording)
        return;
    m_recording = false;
    Q_EMIT RecordingChanged(false);
    Q_EMIT Failed(reason);
}
