#include "hosted/GStreamerStart.h"

#include "hosted/DecoderRegistry.h"
#include "hosted/GstHandles.h"

#include <QLoggingCategory>
#include <dlfcn.h>
#include <gio/gio.h>
#include <gst/gst.h>
#include <mutex>

// The player's category: what GStreamer's start says belongs with what the player says.
Q_LOGGING_CATEGORY(lcGStreamer, "wavelark.player")

namespace {

// GStreamer's HTTP source (souphttpsrc) uses whichever libsoup the process has already loaded,
// and otherwise libsoup 3. libsoup 3.2, the one Debian 12 ships, crashes the source's session
// thread when a request is cancelled just as its response arrives: the body stream nobody
// collected is closed after the message has dropped its I/O, and the close follows a null
// pointer. Stopping or switching a station while it connects cancels exactly such requests, and
// so do the two quick seeks the Ogg demuxer makes at the start of a seekable file. libsoup 2.4
// closes the same stream safely, so it is loaded first whenever it is installed. The two cannot
// share a process, so nothing changes once libsoup 3 is in.
void PreferLibsoup2()
{
    if (void* soup3 = dlopen("libsoup-3.0.so.0", RTLD_NOW | RTLD_NOLOAD)) {
        dlclose(soup3);
        qCDebug(lcGStreamer) << "libsoup 3 is already loaded: HTTP streams use it";
        return;
    }
    // Kept open for the life of the process, like the plugin that will use it.
    if (dlopen("libsoup-2.4.so.1", RTLD_NOW | RTLD_LOCAL))
        qCDebug(lcGStreamer) << "HTTP streams use libsoup 2.4";
    else
        qCDebug(lcGStreamer) << "libsoup 2.4 is not installed: HTTP streams use libsoup 3";
}

// What GStreamer reads from the environment, set once; on the thread that starts the others.
void PrepareGStreamerEnvironment()
{
    static std::once_flag prepared;
    std::call_once(prepared, [] {
        // Shoutcast and Icecast titles are bytes in no declared encoding. GStreamer keeps valid
        // UTF-8 and otherwise tries this variable's encodings before falling back to Latin-1;
        // Windows-1252 is what the stations' playout software on Windows writes. A value set by
        // the user wins.
        g_setenv("GST_ICY_TAG_ENCODING", "WINDOWS-1252", FALSE);
    });
}

// What the HTTP source sets up on its first connection, an http one included: GIO's modules, the
// proxy resolver and the TLS database, read from the system's certificate bundle. About 25 ms
// that would otherwise lie between handing over the first address and connecting to it; done
// beforehand, they run beside the program's start.
void WarmUpHttpSource()
{
    g_proxy_resolver_get_default();
    if (GTlsBackend* backend = g_tls_backend_get_default()) {
        if (GTlsDatabase* database = g_tls_backend_get_default_database(backend))
            g_object_unref(database);
    }
}

// The first call initialises, the others wait for it.
bool InitialiseGStreamer()
{
    static const bool initialised = [] {
        PreferLibsoup2();
        GError* rawError = nullptr;
        const bool ok = gst_init_check(nullptr, nullptr, &rawError);
        const GErrorPtr error(rawError);
        if (!ok) {
            qCWarning(lcGStreamer)
                << "GStreamer cannot start:" << (error ? error->message : "unknown reason");
            return false;
        }
        DecoderRegistry::HoldBackHeavyDecoders();
        return true;
    }();
    return initialised;
}

} // namespace

bool StartGStreamer()
{
    PrepareGStreamerEnvironment();
    return InitialiseGStreamer();
}

std::future<bool> StartGStreamerInBackground()
{
    PrepareGStreamerEnvironment();
    return std::async(std::launch::async, [] {
        const bool ok = InitialiseGStreamer();
        // After the registry, which the player waits for; the first connection comes later.
        if (ok)
            WarmUpHttpSource();
        return ok;
    });
}
