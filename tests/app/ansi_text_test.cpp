#include "app/AnsiText.h"

#include <gtest/gtest.h>

TEST(AnsiText, DecodesWindows1252IncludingItsOwnHighControlRange)
{
    const struct
    {
        QByteArray bytes;
        QString text;
    } cases[] = {
        {"Bergstra\xDF"
         "e Oldies",
         QStringLiteral("Bergstraße Oldies")},
        {"Shannon C\xE9il\xED Radio", QStringLiteral("Shannon Céilí Radio")},
        {"\x80 \x93quoted\x94 \x99", QStringLiteral("€ “quoted” ™")},
        {"\x81\x8D\x8F\x90\x9D", QString(5, QChar(0xFFFD))}, // unassigned bytes
        {QByteArray("a\0b", 3), QString(QStringLiteral("a")) + QChar(0) + QStringLiteral("b")},
        {"", QString()},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.bytes.toHex().constData());
        EXPECT_EQ(DecodeAnsi(c.bytes), c.text);
    }
}
