#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

// Text from outside (a station list's lines, a server's reason phrase, a stream title) on its
// way to a terminal or a log: every C0 and C1 control character and DEL becomes "\xNN" (its code
// in hex), as does every byte that is not part of valid UTF-8, so that no escape sequence a
// terminal would act on (ESC ] 52 writes the clipboard, ESC ] 0 the window title; a lone 0x9B
// is CSI to some) and no forged line break gets through. Valid UTF-8 text is kept as it is.
QByteArray EscapeControls(QByteArrayView utf8);
QString EscapeControls(const QString& text);
