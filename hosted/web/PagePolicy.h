#pragma once

#include <QString>
#include <QUrl>
#include <algorithm>

// Without the engine's sandbox (as root) pages are shown only from a content server that no one
// on the way can change: one on this machine (loopback) or one reached over https.
inline bool PagesMayComeWithoutSandbox(const QUrl& contentAddress)
{
    if (contentAddress.scheme().compare(QLatin1String("https"), Qt::CaseInsensitive) == 0)
        return true;
    const QString host = contentAddress.host().toLower();
    return host == QLatin1String("localhost") || host == QLatin1String("::1") ||
           (host.startsWith(QLatin1String("127.")) && host.count(QLatin1Char('.')) == 3 &&
            !host.contains(QLatin1Char(':')) && std::all_of(host.begin(), host.end(), [](QChar c) {
                return c.isDigit() || c == QLatin1Char('.');
            }));
}
