#pragma once

#include <QByteArray>
#include <QString>

// How long one fetch may take. Every fetch runs on the window thread and blocks it, so each
// attempt is bounded in total time as well: a server that accepts the connection and then never
// answers, or trickles its answer, ends the fetch like any other internet error.
struct FetchSettings
{
    int connectTimeoutMs = 0;
    // Bound on one whole attempt (connect, request, answer).
    int attemptTimeoutMs = 0;
    // Attempts made while the connection cannot be made at all (refused, unreachable, connect
    // time-out). The internet connection of the original program counted its "connect retries" as
    // the number of times it tried to connect, so 3 means three tries in all.
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
    // At most kFetchKeptBytes bytes, cut at the first zero byte. Empty when !ok.
    QByteArray text;
    // libcurl's description of the internet error; empty when ok.
    QString error;
    // Connection attempts made (1 unless the connection could not be made).
    int attempts = 0;
};

// One plain GET of `address` over a fresh connection with the given user agent. Proxies come
// from the standard environment variables (http_proxy, https_proxy, no_proxy, all_proxy); TLS
// certificates are always verified. Only http and https addresses are fetched. Redirects are
// followed as the original internet connection did for a plain GET, at most 5, and never from
// https down to http. Internet errors are logged on "wavelark.fetch".
FetchResult HttpFetch(const QByteArray& address, const QByteArray& userAgent,
                      const FetchSettings& settings);
