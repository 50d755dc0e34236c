#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QHash>
#include <QList>

// Cuts an Ogg byte stream into whole pages and keeps the current chain's header pages (the
// first pages of each logical stream, up to the last header packet its codec needs), so that a
// file begun in the middle of the stream can start with them and be a valid Ogg file.
class OggPages
{
public:
    struct Page
    {
        QByteArray bytes;
        bool header = false;      // one of the chain's header pages
        bool beginsChain = false; // the first page of a new chain (a BOS after audio)
    };

    // Header pages kept beyond this are given up on: no file can then begin mid-stream.
    static constexpr qsizetype kMaxHeaderBytes = 512 * 1024;

    // Takes the next bytes of the stream; appends the pages now whole to `pages`. Bytes that
    // are not part of a page (before the first "OggS", after a damaged header) come out as a
    // page of their own that is not a header.
    void Feed(QByteArrayView bytes, QList<Page>& pages);

    // The current chain's header pages, once all of them have been seen; empty before.
    QByteArray Headers() const { return m_headersComplete ? m_headers : QByteArray(); }
    bool HeadersComplete() const { return m_headersComplete; }

private:
    struct Stream
    {
        int needed = 1;        // header packets the codec needs
        int completed = 0;     // packets completed so far
        bool untilEos = false; // a Skeleton track: every page up to its end is a header
        bool ended = false;
    };

    void TakePage(QByteArray page, QList<Page>& pages);
    bool AllHeadersSeen() const;

    QByteArray m_buffer;
    QHash<quint32, Stream> m_streams;
    QByteArray m_headers;
    bool m_headersComplete = false;
    bool m_audioSeen = false;
    bool m_gaveUp = false;
};
