#include "app/startup/PanoreelApp.h"

#include <QApplication>

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    CPanoreelApp app;
    return app.InitInstance();
}
