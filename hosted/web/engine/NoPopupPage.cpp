#include "hosted/web/engine/NoPopupPage.h"

QWebEnginePage* NoPopupPage::createWindow(WebWindowType /*type*/)
{
    return nullptr;
}
