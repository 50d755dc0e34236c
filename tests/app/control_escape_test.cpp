#include "app/ControlEscape.h"

#include <gtest/gtest.h>

TEST(ControlEscape, ControlsAndBrokenUtf8BecomeHexAndTextStays)
{
    const struct
    {
        QByteArray in;
        QByteArray out;
    } cases[] = {
        {"plain text, 100% \\ safe", "plain text, 100% \\ safe"},
        {"\x1B]52;c;ZXZpbA==\x07", "\\x1B]52;c;ZXZpbA==\\x07"},
        {"\x1B]0;title\x1B\\", "\\x1B]0;title\\x1B\\"},
        {"line\r\nforged: entry\t\x7F", "line\\x0D\\x0Aforged: entry\\x09\\x7F"},
        {QByteArray("nul\0end", 7), "nul\\x00end"},
        // C1 controls as UTF-8 characters (U+0085, U+009B) and as lone bytes.
        {"\xC2\x85\xC2\x9B" "31m", "\\x85\\x9B31m"},
        {"\x9B" "31m \xC3", "\\x9B31m \\xC3"},
        // Overlong ESC and a UTF-16 surrogate are not UTF-8.
        {"\xC0\x9B \xED\xA0\x80", "\\xC0\\x9B \\xED\\xA0\\x80"},
        // Letters of every script, U+00A0 and emoji are kept.
        {"\xD0\xA0\xD0\xB0\xD0\xB4\xD0\xB8\xD0\xBE \xC2\xA0 \xE6\x97\xA5 \xF0\x9F\x93\xBB",
         "\xD0\xA0\xD0\xB0\xD0\xB4\xD0\xB8\xD0\xBE \xC2\xA0 \xE6\x97\xA5 \xF0\x9F\x93\xBB"},
        {"", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.in.toHex().constData());
        EXPECT_EQ(EscapeControls(QByteArrayView(c.in)), c.out);
        EXPECT_EQ(EscapeControls(QString::fromUtf8(c.in)).toUtf8(),
                  EscapeControls(QByteArrayView(QString::fromUtf8(c.in).toUtf8())));
    }
    EXPECT_EQ(EscapeControls(QStringLiteral("a\u001Bb\u0085c")), QStringLiteral("a\\x1Bb\\x85c"));
}
