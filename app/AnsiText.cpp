#include "app/AnsiText.h"

namespace {

// 0x80..0x9F differ from Latin-1; the five unassigned bytes map to U+FFFD.
constexpr char16_t kHighControls[32] = {
    0x20AC, 0xFFFD, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0xFFFD, 0x017D, 0xFFFD, 0xFFFD, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0xFFFD, 0x017E, 0x0178,
};

} // namespace

QString DecodeAnsi(const QByteArray& bytes)
{
    QString text(bytes.size(), Qt::Uninitialized);
    QChar* out = text.data();
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        *out++ = (b >= 0x80 && b < 0xA0) ? QChar(kHighControls[b - 0x80]) : QChar(char16_t(b));
    }
    return text;
}

QByteArray EncodeAnsi(const QString& text)
{
    QByteArray bytes;
    bytes.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text.at(i).unicode();
        if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) {
            bytes += static_cast<char>(c);
            continue;
        }
        char byte = '?';
        for (int k = 0; k < 32; ++k) {
            if (kHighControls[k] == c && c != 0xFFFD) {
                byte = static_cast<char>(0x80 + k);
                break;
            }
        }
        bytes += byte;
        // A character outside the basic plane is one character, not two.
        if (QChar::isHighSurrogate(c) && i + 1 < text.size() && text.at(i + 1).isLowSurrogate())
            ++i;
    }
    return bytes;
}

QString DecodeText(TextEncoding encoding, const QByteArray& bytes)
{
    return encoding == TextEncoding::Utf8 ? QString::fromUtf8(bytes) : DecodeAnsi(bytes);
}

QByteArray EncodeText(TextEncoding encoding, const QString& text)
{
    return encoding == TextEncoding::Utf8 ? text.toUtf8() : EncodeAnsi(text);
}
