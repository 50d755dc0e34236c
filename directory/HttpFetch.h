#pragma once

#include <QByteArray>
#include <QString>
#include <atomic>
#include <functional>

// How long one fetch may take. Fetches run on workers, but the user waits for what they bring,
// so each attempt is bounded in total time as well: a server that accepts the connection and
// then never answers, or trickles its answer, ends the fetch like any other internet error.
struct FetchSettings
{
    int connectTimeoutMs = 0;
    // Bound on one whole attempt (connect, request, answer).
    int attemptTimeoutMs = 0;
    // Attempts made while the connection cannot be made at all (refused, unreachable, connect
    // time-out), the first one included: 3 means three tries in all.
    int connectAttempts = 0;
};

// Availability texts and stream files: a 5 s connect time-out, 2 s more for the answer.
inline constexpr FetchSettings kEntryFetchSettings{5000, 7000, 3};
// The version file is asked for each time the radio window opens, so it gets a shorter leash.
inline constexpr FetchSettings kVersionFetchSettings{1000, 3000, 3};

// Only this many bytes of an answer are kept; the rest of the transfer is abandoned.
inline constexpr int kFetchKeptBytes = 1024;

// The outcome of one fetch. `ok` is false only for an internet error (no connection, time-out,
// unresolvable host, malformed or unsupported address); an HTTP error status with a body is a
// successful fetch whose text is that body.
struct FetchResult
{
    bool ok = false;
    // At most the kept bytes (kFetchKeptBytes unless FetchLimits say otherwise), cut at the
    // first zero byte. Empty when !ok.
    QByteArray text;
    // libcurl's description of the internet error; empty when ok.
    QString error;
    // Connection attempts made (1 unless the connection could not be made).
    int attempts = 0;
    // The answer's HTTP status (200 for a shoutcast "ICY 200 OK") and Content-Type header as
    // sent; 0 and empty when !ok.
    int status = 0;
    QByteArray contentType;
};

// How much of an answer a fetch keeps, and when it may end early. The defaults are those of
// the three-argument HttpFetch.
struct FetchLimits
{
    // Bytes kept of the answer; the rest of the transfer is abandoned.
    int keptBytes = kFetchKeptBytes;
    // Asked whenever bytes arrive, with the answer's content type and the bytes kept so far;
    // false ends the transfer there as a successful fetch of those bytes. This is how a look at
    // an address that turns out to be an endless audio stream stops at its first bytes.
    std::function<bool(const QByteArray& contentType, const QByteArray& kept)> keepReading;
    // Set from another thread to abandon the fetch: it then ends as an internet error within
    // about a second, before the next attempt at the latest.
    const std::atomic<bool>* cancel = nullptr;
};

// One plain GET of `address` over a fresh connection with the given user agent. Proxies come
// from the standard environment variables (http_proxy, https_proxy, no_proxy, all_proxy); TLS
// certificates are always verified. Only http and https addresses are fetched. Redirects are
// followed as a browser follows them for a plain GET, at most 5, and never from https down to
// http. Internet errors are logged on "wavelark.fetch".
FetchResult HttpFetch(const QByteArray& address, const QByteArray& userAgent,
                      const FetchSettings& settings);
// The same with other limits. Safe to call from any thread.
FetchResult HttpFetch(const QByteArray& address, const QByteArray& userAgent,
                      const FetchSettings& settings, const FetchLimits& limits);
