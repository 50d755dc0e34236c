#pragma once

#include <QByteArrayView>
#include <QProcessEnvironment>
#include <QStringList>
#include <QUrl>
#include <array>
#include <optional>
#include <vector>

// Which pages the web engine may show, decided in one place for the program, which switches the
// sandbox off, and for the page view, which refuses pages that must not run without it.

// Whether Chromium renders pages without its sandbox when started by `effectiveUid` with
// `environment` (and, in-process, the program's `arguments`, of which Qt hands Chromium those
// after "--webEngineArgs"). True for root, where Chromium refuses to start with it; for
// QTWEBENGINE_DISABLE_SANDBOX set to anything at all, "0" and empty included, as Qt reads it;
// and for --no-sandbox among the Chromium flags, with one dash or two and with or without a
// value, as Chromium reads it.
bool PagesRenderWithoutSandbox(uint effectiveUid, const QProcessEnvironment& environment,
                               const QStringList& arguments = {});

// A listening TCP socket from the kernel's tables: address (IPv4 as ::ffff:a.b.c.d, so that
// 0.0.0.0 and :: stay apart), port and the user who owns it.
struct ListeningSocket
{
    std::array<quint8, 16> address{};
    quint16 port = 0;
    uint owner = 0;
};

// The socket on one line of /proc/net/tcp or /proc/net/tcp6 when it is listening; nullopt for
// any other line (the header, a connection, a malformed line).
std::optional<ListeningSocket> ParseListeningSocket(QByteArrayView line);

// The listening sockets of this process's network namespace, read line by line and bounded;
// nullopt when the tables cannot be read whole, so that no decision rests on half of them.
std::optional<std::vector<ListeningSocket>> ListeningSocketsHere();

// Whether the top page at `address` may be shown by an engine started by `effectiveUid` with
// `environment` and `arguments`: with the sandbox always; without it only over https (the
// server is the one its certificate names), or over http from this machine (127.0.0.0/8, ::1,
// localhost) when every socket in `listeners` that could take the connection is owned by root
// or by `effectiveUid` and there is one: any user may bind a free loopback port, and a page
// from such a server would run unsandboxed with this user's rights.
bool PageMayBeShown(const QUrl& address, uint effectiveUid, const QProcessEnvironment& environment,
                    const QStringList& arguments, const std::vector<ListeningSocket>& listeners);

// PageMayBeShown for this process: its effective user, environment and arguments, and the
// kernel's listening sockets (read only when the answer depends on them).
bool PageMayBeShownHere(const QUrl& address);

// `text` with C0 and C1 control characters and DEL written as \xNN, for a log line that quotes
// what a page or a server chose: such text must not move the cursor, retitle the terminal or
// start a line of its own.
QString EscapedForLog(QStringView text);
