#include "app/SessionBus.h"

#include <QByteArray>
#include <QtGlobal>
#include <sys/stat.h>

bool SessionBusReachable()
{
    if (!qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS"))
        return true;
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    if (runtime.isEmpty())
        return false;
    struct stat socket = {};
    return ::stat((runtime + "/bus").constData(), &socket) == 0 && S_ISSOCK(socket.st_mode);
}

void KeepLibrariesOffAMissingSessionBus()
{
    if (!SessionBusReachable() && qEnvironmentVariableIsEmpty("GSETTINGS_BACKEND"))
        qputenv("GSETTINGS_BACKEND", "memory");
}
