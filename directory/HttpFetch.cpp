#include "directory/HttpFetch.h"

#include <QLoggingCategory>
#include <algorithm>
#include <curl/curl.h>
#include <memory>
#include <mutex>

namespace {

Q_LOGGING_CATEGORY(lcFetch, "wavelark.fetch")

struct CurlEasyFree
{
    void operator()(CURL* handle) const noexcept { curl_easy_cleanup(handle); }
};
using CurlEasy = std::unique_ptr<CURL, CurlEasyFree>;

constexpr long kMaxRedirects = 5;

// Where the write callback collects the answer.
struct KeptBytes
{
    QByteArray bytes;
    // Set when the callback refused bytes because kFetchKeptBytes were already kept.
    bool stoppedOnPurpose = false;
};

// Keeps the first kFetchKeptBytes bytes; returning a short count makes libcurl abandon the
// transfer with CURLE_WRITE_ERROR, which then means "enough read", not a failure.
size_t KeepFirstBytes(char* data, size_t size, size_t count, void* user)
{
    auto* kept = static_cast<KeptBytes*>(user);
    const size_t offered = size * count;
    const size_t room = static_cast<size_t>(kFetchKeptBytes - kept->bytes.size());
    const size_t taken = std::min(offered, room);
    kept->bytes.append(data, static_cast<qsizetype>(taken));
    if (taken < offered)
        kept->stoppedOnPurpose = true;
    return taken;
}

void InitialiseCurlOnce()
{
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

enum class AttemptEnd {
    Answered,
    NotConnected, // refused, unreachable or connect time-out: worth another try
    Failed,       // any other internet error: another try would not help
};

struct Attempt
{
    AttemptEnd end = AttemptEnd::Failed;
    QByteArray bytes;
    QString error;
};

Attempt RunAttempt(const QByteArray& address, const QByteArray& userAgent,
                   const FetchSettings& settings)
{
    Attempt attempt;
    // Declared before the handle: libcurl writes into both until the handle is cleaned up.
    char errorText[CURL_ERROR_SIZE] = {};
    KeptBytes kept;
    CurlEasy handle(curl_easy_init());
    if (!handle) {
        attempt.error = QStringLiteral("cannot create a connection handle");
        return attempt;
    }
    CURL* h = handle.get();
    const bool secure = address.trimmed().toLower().startsWith("https:");

    // The address is copied by libcurl; the QByteArray is zero-terminated.
    curl_easy_setopt(h, CURLOPT_URL, address.constData());
    curl_easy_setopt(h, CURLOPT_HTTPGET, 1L);
    curl_easy_setopt(h, CURLOPT_USERAGENT, userAgent.constData());
    curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(h, CURLOPT_MAXREDIRS, kMaxRedirects);
    curl_easy_setopt(h, CURLOPT_REDIR_PROTOCOLS_STR, secure ? "https" : "http,https");
    // Time-outs must not raise SIGALRM in a Qt program.
    curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(settings.connectTimeoutMs));
    curl_easy_setopt(h, CURLOPT_TIMEOUT_MS, static_cast<long>(settings.attemptTimeoutMs));
    curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, &KeepFirstBytes);
    curl_easy_setopt(h, CURLOPT_WRITEDATA, &kept);
    curl_easy_setopt(h, CURLOPT_ERRORBUFFER, errorText);

    const CURLcode code = curl_easy_perform(h);
    if (code == CURLE_OK || (code == CURLE_WRITE_ERROR && kept.stoppedOnPurpose)) {
        attempt.end = AttemptEnd::Answered;
        attempt.bytes = std::move(kept.bytes);
        return attempt;
    }

    attempt.error = QString::fromUtf8(errorText[0] != '\0' ? errorText : curl_easy_strerror(code));
    if (code == CURLE_COULDNT_CONNECT) {
        attempt.end = AttemptEnd::NotConnected;
    } else if (code == CURLE_OPERATION_TIMEDOUT) {
        // A time-out before the connection stood is a connect time-out; one after it is a
        // server that does not answer, and asking it again would only freeze the window longer.
        curl_off_t connectTime = 0;
        curl_easy_getinfo(h, CURLINFO_CONNECT_TIME_T, &connectTime);
        attempt.end = connectTime == 0 ? AttemptEnd::NotConnected : AttemptEnd::Failed;
    }
    // A host name that cannot be resolved is not tried again: the system resolver has already
    // made its own retries, and repeating a definite "no such host" only multiplies the wait.
    return attempt;
}

} // namespace

FetchResult HttpFetch(const QByteArray& address, const QByteArray& userAgent,
                      const FetchSettings& settings)
{
    InitialiseCurlOnce();
    FetchResult result;
    const int attempts = std::max(1, settings.connectAttempts);
    for (int i = 0; i < attempts; ++i) {
        Attempt attempt = RunAttempt(address, userAgent, settings);
        result.attempts = i + 1;
        if (attempt.end == AttemptEnd::Answered) {
            result.ok = true;
            result.text = std::move(attempt.bytes);
            const qsizetype zero = result.text.indexOf('\0');
            if (zero >= 0)
                result.text.truncate(zero);
            return result;
        }
        result.error = attempt.error;
        if (attempt.end != AttemptEnd::NotConnected)
            break;
    }
    qCWarning(lcFetch).nospace() << "fetch of " << address << " failed after " << result.attempts
                                 << " attempt(s): " << result.error;
    return result;
}
