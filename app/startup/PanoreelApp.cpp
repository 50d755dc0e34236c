#include "app/startup/PanoreelApp.h"

int CPanoreelApp::InitInstance()
{
    return 0;
}
