#include "startup/PanoreelApp.h"

#include "app/SingleInstance.h"
#include "app/StallProbe.h"
#include "directory/ContentServer.h"
#include "hosted/web/WebPageEngineLoader.h"
#include "radio/Wavelark.h"
#include "ui/KeyFilter.h"
#include "ui/MessageDialog.h"

#include <QApplication>
#include <QDir>
#include <QLoggingCategory>
#include <QScreen>
#include <csignal>
#include <functional>
#include <glib-unix.h>
#include <vector>

Q_LOGGING_CATEGORY(lcStartup, "wavelark.startup")

namespace {

gboolean OnTerminationSignal(gpointer quit)
{
    (*static_cast<std::function<void()>*>(quit))();
    return G_SOURCE_CONTINUE;
}

// SIGINT and SIGTERM end the program the way Exit does, so the player can finish what it
// writes (a capture file's header, for example) instead of dying mid-stream. GLib takes the
// signal and runs the callback from the main loop, which is the one Qt's event loop runs on
// this thread; the sources go with `owner`.
void QuitOnTerminationSignals(QObject* owner, const std::function<void()>& quit)
{
    auto* callback = new std::function<void()>(quit);
    std::vector<guint> sources;
    for (const int signal : {SIGINT, SIGTERM})
        sources.push_back(g_unix_signal_add(signal, OnTerminationSignal, callback));
    QObject::connect(owner, &QObject::destroyed, [sources, callback] {
        for (const guint source : sources)
            g_source_remove(source);
        delete callback;
    });
}

} // namespace

int CPanoreelApp::InitInstance()
{
    SingleInstance instance(QString::fromLatin1(kInstanceMutexName));
    qApp->setQuitOnLastWindowClosed(false);
    qApp->installEventFilter(new KeyFilter(qApp));

    if (instance.AlreadyRunning()) {
        ShowMessage(QByteArrayLiteral("Wavelark is already running"), TheSkin);
        return 0;
    }

    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        ScreenWidth = screen->geometry().width();
        ScreenHeight = screen->geometry().height();
    }

    Shell = ReadProgramVersion();
    QDir::setCurrent(Shell.WorkingFolder);
    const QString archivePath = Shell.WorkingFolder + QStringLiteral("/Interface/radio.int");
    Archive = LoadInterfaceArchive(archivePath);
    if (Archive.entries.empty())
        qCWarning(lcStartup) << "no channel catalogue in" << archivePath
                             << "- starting with an empty channel list";

    const ContentServer server =
        ContentServer::FromEnvironment(ProgramVersionText(Shell.ProgramVersion));
    qCInfo(lcStartup).noquote() << "Wavelark" << ProgramVersionText(Shell.ProgramVersion) << "in"
                                << Shell.WorkingFolder << "content server" << server.Root();

    CWavelark mainWindow(TheDirectory, TheSkin, server, Archive,
                         ProgramVersionText(Shell.ProgramVersion));
    const auto quit = [this] {
        QuitRequested = 1;
        QCoreApplication::exit(0);
    };
    mainWindow.SetScreenSize(QSize(ScreenWidth, ScreenHeight));
    // Chosen now, loaded at the first page: nothing of the engine is touched before then.
    const std::unique_ptr<WebPageEngineLoader> webEngine = WebPageEngineLoader::ForThisDisplay();
    mainWindow.SetWebEngine(webEngine.get());
    QObject::connect(&mainWindow, &CWavelark::QuitRequested, qApp, quit);
    QuitOnTerminationSignals(&mainWindow, [&mainWindow] { mainWindow.Exit(); });
    // The end of the desktop session makes Qt leave the loop by itself; it takes the same way.
    QObject::connect(qApp, &QCoreApplication::aboutToQuit, &mainWindow, &CWavelark::Exit);

    // Before the start-up chain, so that a chain that blocks shows as the first late tick.
    StallProbe::StartIfAsked(&mainWindow);
    mainWindow.OnInitDialog();
    if (!QuitRequested)
        QApplication::exec();

    qCInfo(lcStartup) << "shutting down";
    return 0;
}
