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

TEST(AnsiText, EncodesBackToTheCatalogueBytes)
{
    const struct
    {
        QString text;
        QByteArray bytes;
    } cases[] = {
        {QStringLiteral("Bergstraße Oldies"), "Bergstra\xDF"
                                              "e Oldies"},
        {QStringLiteral("€ “quoted” ™ ÿ"), "\x80 \x93quoted\x94 \x99 \xFF"},
        {QString(QChar(0xFFFD)), "?"}, // stands for five different bytes
        {QStringLiteral("Ω \U0001F3B5 x"), "? ? x"},
        {QString(QChar(0xD800)), "?"}, // a lone surrogate
        {QString(QStringLiteral("a")) + QChar(0) + QStringLiteral("b"), QByteArray("a\0b", 3)},
        {QString(), ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text.toStdString());
        EXPECT_EQ(EncodeAnsi(c.text), c.bytes);
    }
    // Every byte but the five unassigned ones survives the round trip.
    for (int b = 0; b < 256; ++b) {
        if (b == 0x81 || b == 0x8D || b == 0x8F || b == 0x90 || b == 0x9D)
            continue;
        const QByteArray one(1, static_cast<char>(b));
        EXPECT_EQ(EncodeAnsi(DecodeAnsi(one)), one) << b;
    }
}
