#include "app/SessionBus.h"

#include <QByteArray>
#include <QtGlobal>
#include <sys/stat.h>

namespace {

// Named where no bus can be reached: a connection to it fails at once, so libdbus and GLib never
// fall back to starting a bus. Qt's tray icon asks libdbus for the session bus when it is made
// (to look for a status-notifier host), and that autolaunch through dbus-launch could hang the
// window thread for good on a loaded machine.
constexpr char kNoSessionBusAddress[] = "unix:path=/nonexistent/wavelark-no-session-bus";

} // namespace

bool SessionBusReachable()
{
    const QByteArray address = qgetenv("DBUS_SESSION_BUS_ADDRESS");
    if (!address.isEmpty())
        return address != kNoSessionBusAddress;
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    if (runtime.isEmpty())
        return false;
    struct stat socket = {};
    return ::stat((runtime + "/bus").constData(), &socket) == 0 && S_ISSOCK(socket.st_mode);
}

void KeepLibrariesOffAMissingSessionBus()
{
    if (SessionBusReachable())
        return;
    if (qEnvironmentVariableIsEmpty("GSETTINGS_BACKEND"))
        qputenv("GSETTINGS_BACKEND", "memory");
    qputenv("DBUS_SESSION_BUS_ADDRESS", kNoSessionBusAddress);
}
