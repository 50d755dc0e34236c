#include "app/SessionBus.h"
#include "startup/PanoreelApp.h"
#include "hosted/GStreamerStart.h"

#include <QApplication>

int main(int argc, char** argv)
{
    // Before any other thread runs: it may set an environment variable.
    KeepLibrariesOffAMissingSessionBus();
    QApplication application(argc, argv);
    // GStreamer starts while the tray icon and the catalogue do; the player waits for it.
    const std::future<bool> gstreamer = StartGStreamerInBackground();
    CPanoreelApp app;
    return app.InitInstance();
}
