#include "directory/UpdateNotice.h"

#include "directory/ContentServer.h"
#include "directory/HttpFetch.h"

#include <cfloat>
#include <charconv>
#include <cmath>

namespace {

bool IsScanStop(char c)
{
    const auto byte = static_cast<unsigned char>(c);
    return byte == ' ' || byte == '\n' || byte == '\0' || byte >= 128;
}

bool IsCSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// Reads a leading number as atof does: leading white space, an optional sign, digits with an
// optional point and exponent. Unlike atof it ignores the user's locale (a German locale would
// otherwise read "3.10" as 3) and it takes no "inf", "nan" or hexadecimal forms, nor a number a
// float cannot hold: those read as 0, like a text without a number.
float ReadLeadingNumber(const QByteArray& text)
{
    const char* p = text.constData();
    const char* const end = p + text.size();
    while (p < end && IsCSpace(*p))
        ++p;
    bool negative = false;
    if (p < end && (*p == '+' || *p == '-')) {
        negative = *p == '-';
        ++p;
    }
    if (p == end || !((*p >= '0' && *p <= '9') || *p == '.'))
        return 0.0f;
    double value = 0.0;
    const auto [stop, error] = std::from_chars(p, end, value, std::chars_format::general);
    (void)stop;
    if (error != std::errc() || !std::isfinite(value) || std::fabs(value) > FLT_MAX)
        return 0.0f;
    return static_cast<float>(negative ? -value : value);
}

} // namespace

QByteArray VersionFileAddress(const ContentServer& server)
{
    return server.RadioPagesBase() + "channelsplus" + '/' + "versionplus.txt";
}

float NewestVersionFromText(const QByteArray& bytes)
{
    qsizetype i = 0;
    while (i < bytes.size() && !IsScanStop(bytes[i]))
        ++i;
    const bool highByteStop = i < bytes.size() && static_cast<unsigned char>(bytes[i]) >= 128;
    // With nothing before the stop there is nothing to drop: the version text is empty.
    const qsizetype length = highByteStop ? i : std::max<qsizetype>(i - 1, 0);
    return ReadLeadingNumber(bytes.left(length));
}

float FetchNewestVersion(const ContentServer& server, float programVersion)
{
    const FetchResult result =
        HttpFetch(VersionFileAddress(server), server.UserAgent(), kVersionFetchSettings);
    // Only a successful answer is the version file: an error page or a "not found" text would
    // otherwise read as a version ("404: Not Found" as 404).
    if (!result.ok || result.status < 200 || result.status > 299)
        return programVersion;
    return NewestVersionFromText(result.text);
}

QString DownloadCaption(float newest)
{
    return QString::asprintf("%s%0.2f%s", "Download version ", static_cast<double>(newest),
                             " now...");
}

std::optional<QString> DownloadButtonCaption(float programVersion, float newest)
{
    if (programVersion < newest)
        return DownloadCaption(newest);
    return std::nullopt;
}
