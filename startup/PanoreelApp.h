#pragma once

#include "app/InterfaceArchive.h"
#include "app/ProgramVersion.h"
#include "directory/ChannelDirectory.h"
#include "ui/Skin.h"

#include <QByteArray>

// The application object and the program's composition root: makes the process-wide values the
// windows read and the hidden main window (which makes and owns the player, the tray icon and
// the desktop bus), chooses the web engine, wires every way out to the one Exit, and runs the
// start-up chain, the event loop and the shutdown on the one UI thread.
class CPanoreelApp
{
public:
    // Runs until the user chooses Exit (or a termination signal arrives); returns the exit code.
    int InitInstance();

    int ScreenWidth = 0;
    int ScreenHeight = 0;
    ShellValues Shell;
    InterfaceArchive Archive;
    ChannelDirectory TheDirectory;
    Skin TheSkin;
    int QuitRequested = 0;
};
