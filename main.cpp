#include "app/SessionBus.h"
#include "hosted/GStreamerStart.h"
#include "startup/PanoreelApp.h"

#include <QApplication>
#include <QLoggingCategory>

int main(int argc, char** argv)
{
    // Before any other thread runs: it may set an environment variable.
    KeepLibrariesOffAMissingSessionBus();
    // Informational lines stay on; QT_LOGGING_RULES (e.g. "wavelark.*=true") overrides this.
    // Set before GStreamer's start, which logs from its own thread.
    QLoggingCategory::setFilterRules(QStringLiteral("wavelark.*.debug=false"));
    // GStreamer's registry loads while Qt connects to the display and the tray icon and the
    // catalogue are made; the player waits for it.
    const std::future<bool> gstreamer = StartGStreamerInBackground();
    QApplication application(argc, argv);
    CPanoreelApp app;
    return app.InitInstance();
}
