#include "app/ControlEscape.h"

namespace {

void AppendHex(QByteArray& out, unsigned value)
{
    static constexpr char kDigits[] = "0123456789ABCDEF";
    out += "\\x";
    out += kDigits[(value >> 4) & 0xF];
    out += kDigits[value & 0xF];
}

// The length of the valid UTF-8 sequence at `at` (1 to 4), or 0 when none starts there.
qsizetype SequenceLength(QByteArrayView bytes, qsizetype at, char32_t& codePoint)
{
    const auto byte = [&](qsizetype i) { return static_cast<unsigned char>(bytes[i]); };
    const unsigned lead = byte(at);
    qsizetype length = 0;
    char32_t minimum = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        codePoint = lead & 0x1F;
        minimum = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        codePoint = lead & 0x0F;
        minimum = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        codePoint = lead & 0x07;
        minimum = 0x10000;
    } else {
        return 0;
    }
    if (at + length > bytes.size())
        return 0;
    for (qsizetype i = 1; i < length; ++i) {
        if ((byte(at + i) & 0xC0) != 0x80)
            return 0;
        codePoint = (codePoint << 6) | (byte(at + i) & 0x3F);
    }
    // Overlong forms, UTF-16 surrogates and code points past U+10FFFF are not UTF-8.
    if (codePoint < minimum || (codePoint >= 0xD800 && codePoint <= 0xDFFF) ||
        codePoint > 0x10FFFF)
        return 0;
    return length;
}

} // namespace

QByteArray EscapeControls(QByteArrayView utf8)
{
    QByteArray out;
    out.reserve(utf8.size());
    qsizetype at = 0;
    while (at < utf8.size()) {
        const auto lead = static_cast<unsigned char>(utf8[at]);
        if (lead < 0x80) {
            if (lead < 0x20 || lead == 0x7F)
                AppendHex(out, lead);
            else
                out += char(lead);
            ++at;
            continue;
        }
        char32_t codePoint = 0;
        const qsizetype length = SequenceLength(utf8, at, codePoint);
        if (length == 0) {
            AppendHex(out, lead);
            ++at;
        } else if (codePoint <= 0x9F) {
            AppendHex(out, unsigned(codePoint)); // a C1 control
            at += length;
        } else {
            out.append(utf8.sliced(at, length));
            at += length;
        }
    }
    return out;
}

QString EscapeControls(const QString& text)
{
    return QString::fromUtf8(EscapeControls(QByteArrayView(text.toUtf8())));
}
