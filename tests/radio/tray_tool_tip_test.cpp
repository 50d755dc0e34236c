#include "radio/NowPlaying.h"
#include "radio/TrayToolTip.h"

#include <QTextDocument>
#include <gtest/gtest.h>

// Channel names and stream titles come from catalogues and stations: whatever they hold, the
// tool tip handed to the tray is plain text with their words in it, never markup for a rich-text
// renderer and never a control character.
TEST(TrayToolTip, IsPlainTextWhateverNamesAndTitlesHold)
{
    const QString hostile[] = {
        QStringLiteral("<img src=\"file:///etc/passwd\">"),
        QStringLiteral("<b>Bold</b> FM"),
        QStringLiteral("&lt;b&gt;Radio&lt;/b&gt;"),
        QStringLiteral("<!DOCTYPE html><html><body>x</body></html>"),
        QStringLiteral("<?xml version=\"1.0\"?><qt>x</qt>"),
        QStringLiteral("Rock \u001B]0;pwned\u0007 & Roll\u0085"),
    };
    for (const QString& text : hostile) {
        SCOPED_TRACE(text.toStdString());
        NowPlaying state;
        state.channelName = text;
        state.streamTitle = text;
        state.playing = true;
        // As the tray gets it, and as it would be with markup on its first line.
        for (const QString& tip :
             {PlainToolTipText(TrayToolTipText(state)), PlainToolTipText(text + QLatin1Char('\n') + text)}) {
            EXPECT_FALSE(Qt::mightBeRichText(tip)) << tip.toStdString();
            for (const QChar c : tip)
                EXPECT_TRUE(c == QLatin1Char('\n') || c.category() != QChar::Other_Control);
        }
    }
    // Ordinary text passes as it is, "<" and "&" and all, where nothing takes it for markup.
    const QString plain = QStringLiteral("Wavelark\nR&B <live>\nArtist - Song");
    EXPECT_EQ(PlainToolTipText(plain), plain);
}
