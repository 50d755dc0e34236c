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

struct CurlListFree
{
    void operator()(curl_slist* list) const noexcept { curl_slist_free_all(list); }
};
using CurlList = std::unique_ptr<curl_slist, CurlListFree>;

constexpr long kMaxRedirects = 5;

// Where the write callback collects the answer.
struct KeptBytes
{
    const FetchLimits* limits = nullptr;
    CURL* handle = nullptr;
    QByteArray bytes;
    // Set when the callback refused bytes because enough were kept or the caller had enough.
    bool stoppedOnPurpose = false;
};

QByteArray ContentTypeOf(CURL* handle)
{
    char* type = nullptr;
    if (curl_easy_getinfo(handle, CURLINFO_CONTENT_TYPE, &type) != CURLE_OK || !type)
        return {};
    return QByteArray(type);
}

// Keeps the first bytes up to the limit; returning a short count makes libcurl abandon the
// transfer with CURLE_WRITE_ERROR, which then means "enough read", not a failure.
size_t KeepFirstBytes(char* data, size_t size, size_t count, void* user)
{
    auto* kept = static_cast<KeptBytes*>(user);
    const size_t offered = size * count;
    const qsizetype limit = std::max(0, kept->limits->keptBytes);
    const size_t room = static_cast<size_t>(std::max<qsizetype>(0, limit - kept->bytes.size()));
    const size_t taken = std::min(offered, room);
    kept->bytes.append(data, static_cast<qsizetype>(taken));
    if (taken < offered) {
        kept->stoppedOnPurpose = true;
        return taken;
    }
    if (offered > 0 && kept->limits->keepReading &&
        !kept->limits->keepReading(ContentTypeOf(kept->handle), kept->bytes)) {
        // The bytes stay kept; the short count only ends the transfer.
        kept->stoppedOnPurpose = true;
        return 0;
    }
    return taken;
}

// libcurl calls this at least once a second while a transfer runs, connecting included.
int CheckCancel(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t)
{
    const auto* cancel = static_cast<const std::atomic<bool>*>(user);
    return cancel && cancel->load() ? 1 : 0;
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
    int status = 0;
    QByteArray contentType;
};

Attempt RunAttempt(const QByteArray& address, const QByteArray& userAgent,
                   const FetchSettings& settings, const FetchLimits& limits)
{
    Attempt attempt;
    // Declared before the handle: libcurl writes into both until the handle is cleaned up.
    char errorText[CURL_ERROR_SIZE] = {};
    KeptBytes kept;
    // Old shoutcast servers answer with this status line; it means 200 OK.
    const CurlList okAliases(curl_slist_append(nullptr, "ICY 200 OK"));
    CurlEasy handle(curl_easy_init());
    if (!handle) {
        attempt.error = QStringLiteral("cannot create a connection handle");
        return attempt;
    }
    CURL* h = handle.get();
    kept.limits = &limits;
    kept.handle = h;
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
    curl_easy_setopt(h, CURLOPT_HTTP200ALIASES, okAliases.get());
    if (limits.cancel) {
        curl_easy_setopt(h, CURLOPT_NOPROGRESS, 0L);
        curl_easy_setopt(h, CURLOPT_XFERINFOFUNCTION, &CheckCancel);
        curl_easy_setopt(h, CURLOPT_XFERINFODATA, limits.cancel);
    }

    const CURLcode code = curl_easy_perform(h);
    if (code == CURLE_OK || (code == CURLE_WRITE_ERROR && kept.stoppedOnPurpose)) {
        attempt.end = AttemptEnd::Answered;
        attempt.bytes = std::move(kept.bytes);
        long status = 0;
        curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &status);
        attempt.status = static_cast<int>(status);
        attempt.contentType = ContentTypeOf(h);
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
    return HttpFetch(address, userAgent, settings, FetchLimits{});
}

FetchResult HttpFetch(const QByteArray& address, const QByteArray& userAgent,
                      const FetchSettings& settings, const FetchLimits& limits)
{
    InitialiseCurlOnce();
    FetchResult result;
    const int attempts = std::max(1, settings.connectAttempts);
    for (int i = 0; i < attempts; ++i) {
        if (limits.cancel && limits.cancel->load())
            break;
        Attempt attempt = RunAttempt(address, userAgent, settings, limits);
        result.attempts = i + 1;
        if (attempt.end == AttemptEnd::Answered) {
            result.ok = true;
            result.status = attempt.status;
            result.contentType = std::move(attempt.contentType);
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
    // A fetch its caller gave up on (a station stopped or switched) did not fail.
    if (limits.cancel && limits.cancel->load()) {
        result.error = QStringLiteral("cancelled");
        qCInfo(lcFetch).nospace() << "fetch of " << address << " cancelled";
        return result;
    }
    qCWarning(lcFetch).nospace() << "fetch of " << address << " failed after " << result.attempts
                                 << " attempt(s): " << result.error;
    return result;
}
