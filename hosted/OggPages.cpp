#include "hosted/OggPages.h"

#include <QtEndian>

namespace {

constexpr qsizetype kPageHeaderBytes = 27;
constexpr char kCapture[] = "OggS";

// The header packets a codec needs, from its first packet.
int HeaderPacketsOf(QByteArrayView packet, bool& untilEos)
{
    untilEos = false;
    if (packet.startsWith("\x01vorbis") || packet.startsWith("\x80theora"))
        return 3;
    if (packet.startsWith("OpusHead"))
        return 2;
    if (packet.startsWith("fishead")) {
        untilEos = true;
        return 1;
    }
    if (packet.startsWith("\x7f"
                          "FLAC") &&
        packet.size() >= 9)
        return 1 + qFromBigEndian<quint16>(packet.data() + 7);
    if (packet.startsWith("Speex   ") && packet.size() >= 72)
        return 2 + int(qFromLittleEndian<quint32>(packet.data() + 68));
    return 1;
}

} // namespace

void OggPages::Feed(QByteArrayView bytes, QList<Page>& pages)
{
    m_buffer.append(bytes.data(), bytes.size());
    for (;;) {
        const qsizetype capture = m_buffer.indexOf(kCapture);
        if (capture != 0) {
            // Not a page: pass what cannot start one on as it is, keep a possible start.
            const qsizetype keep = capture < 0 ? std::min<qsizetype>(m_buffer.size(), 3) : 0;
            const qsizetype junk = capture < 0 ? m_buffer.size() - keep : capture;
            if (junk > 0) {
                pages.append({m_buffer.left(junk), false, false});
                m_buffer.remove(0, junk);
            }
            if (capture < 0)
                return;
        }
        if (m_buffer.size() < kPageHeaderBytes)
            return;
        const int segments = static_cast<unsigned char>(m_buffer[26]);
        if (m_buffer.size() < kPageHeaderBytes + segments)
            return;
        qsizetype body = 0;
        for (int i = 0; i < segments; ++i)
            body += static_cast<unsigned char>(m_buffer[kPageHeaderBytes + i]);
        const qsizetype size = kPageHeaderBytes + segments + body;
        if (m_buffer.size() < size)
            return;
        QByteArray page = m_buffer.left(size);
        m_buffer.remove(0, size);
        TakePage(std::move(page), pages);
    }
}

bool OggPages::AllHeadersSeen() const
{
    if (m_streams.isEmpty())
        return false;
    for (const Stream& stream : m_streams) {
        if (stream.untilEos ? !stream.ended : stream.completed < stream.needed)
            return false;
    }
    return true;
}

void OggPages::TakePage(QByteArray page, QList<Page>& pages)
{
    const auto flags = static_cast<unsigned char>(page[5]);
    const bool bos = flags & 0x02;
    const bool eos = flags & 0x04;
    const quint32 serial = qFromLittleEndian<quint32>(page.constData() + 14);
    const int segments = static_cast<unsigned char>(page[26]);
    const qsizetype bodyStart = kPageHeaderBytes + segments;

    Page out{page, false, false};
    if (bos && (m_audioSeen || m_headersComplete)) {
        // A new chain (a new song on many Ogg stations): its own headers from here on.
        m_streams.clear();
        m_headers.clear();
        m_headersComplete = false;
        m_audioSeen = false;
        m_gaveUp = false;
        out.beginsChain = true;
    }
    if (bos) {
        // The first packet of the stream sits at the start of its BOS page.
        qsizetype firstPacket = 0;
        for (int i = 0; i < segments; ++i) {
            const int lace = static_cast<unsigned char>(page[kPageHeaderBytes + i]);
            firstPacket += lace;
            if (lace < 255)
                break;
        }
        Stream stream;
        stream.needed = HeaderPacketsOf(
            QByteArrayView(page).sliced(bodyStart, std::min(firstPacket, page.size() - bodyStart)),
            stream.untilEos);
        m_streams.insert(serial, stream);
    }
    const auto found = m_streams.find(serial);
    const bool inHeaders = !m_headersComplete && found != m_streams.end() &&
                           (found->untilEos ? !found->ended : found->completed < found->needed);
    if (inHeaders) {
        out.header = true;
        for (int i = 0; i < segments; ++i) {
            if (static_cast<unsigned char>(page[kPageHeaderBytes + i]) < 255)
                ++found->completed;
        }
        if (eos)
            found->ended = true;
        if (!m_gaveUp) {
            m_headers += page;
            if (m_headers.size() > kMaxHeaderBytes) {
                m_gaveUp = true;
                m_headers.clear();
            }
        }
        if (AllHeadersSeen())
            m_headersComplete = !m_gaveUp;
    } else {
        if (found != m_streams.end() && eos)
            found->ended = true;
        m_audioSeen = true;
    }
    pages.append(std::move(out));
}
