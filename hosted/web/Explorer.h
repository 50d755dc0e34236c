#pragma once

#include "hosted/web/WebBrowserWrapper.h"

// A web page wrapper; CRadio_explorer is its twin under another name.
class CExplorer : public CWebBrowserWrapper
{
    Q_OBJECT

public:
    using CWebBrowserWrapper::CWebBrowserWrapper;
};
