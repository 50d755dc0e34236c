#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

class ContentServer;

// RadioPagesBase + "channelsplus/versionplus.txt".
QByteArray VersionFileAddress(const ContentServer& server);

// The newest version a version file announces. The file's first bytes are scanned up to the
// first space, LF, zero byte or byte of 128 or more (the end of the bytes counts as a zero
// byte). Before a space, LF or zero stop the character in front of it is dropped (normally the
// CR of the CR LF line end); before a byte of 128 or more nothing is dropped. What remains is read
// as a number the way atof reads it, independent of the locale; no number reads as 0.
float NewestVersionFromText(const QByteArray& bytes);

// Fetches the version file with the short version-file time-out and returns the version it
// announces; an internet error or an answer with another status than 2xx gives programVersion
// itself.
float FetchNewestVersion(const ContentServer& server, float programVersion);

// "Download version " + the version with two decimals + " now...".
QString DownloadCaption(float newest);

// The download button's caption when `newest` is higher than the running program's version;
// nullopt when the button is to be hidden.
std::optional<QString> DownloadButtonCaption(float programVersion, float newest);
