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
#include <QSocketNotifier>
#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

Q_LOGGING_CATEGORY(lcStartup, "wavelark.startup")

namespace {

int g_signalPipe[2] = {-1, -1};

void OnTerminationSignal(int /*signal*/)
{
    // Signal handler: only wake the event loop.
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(g_signalPipe[1], &byte, 1);
}

// SIGINT and SIGTERM end the program the way Exit does, so the player can finish what it
// writes (a capture file's header, for example) instead of dying mid-stream.
void QuitOnTerminationSignals(QObject* owner, const std::function<void()>& quit)
{
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, g_signalPipe) != 0)
        return;
    auto* notifier = new QSocketNotifier(g_signalPipe[0], QSocketNotifier::Read, owner);
    QObject::connect(notifier, &QSocketNotifier::activated, owner, [quit] {
        char byte = 0;
        [[maybe_unused]] const ssize_t got = ::read(g_signalPipe[0], &byte, 1);
        quit();
    });
    struct sigaction action = {};
    action.sa_handler = OnTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
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
