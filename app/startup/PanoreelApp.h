#pragma once

// The application object: runs the whole start-up chain, the event loop and the shutdown.
class CPanoreelApp
{
public:
    int InitInstance();
};
