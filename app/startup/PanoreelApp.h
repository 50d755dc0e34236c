#pragma once

#include "app/InterfaceArchive.h"
#include "app/ProgramVersion.h"
#include "directory/ChannelCatalogue.h"
#include "ui/Skin.h"

#include <QByteArray>

// The application object: runs the whole start-up chain, the event loop and the shutdown on
// the one UI thread, and holds the process-wide values the windows read.
class CPanoreelApp
{
public:
    // Runs until the user chooses Exit (or a termination signal arrives); returns the exit code.
    int InitInstance();

    int ScreenWidth = 0;
    int ScreenHeight = 0;
    ShellValues Shell;
    InterfaceArchive Archive;
    Catalogue TheCatalogue;
    Skin TheSkin;
    int QuitRequested = 0;
};
