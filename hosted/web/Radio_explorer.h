#pragma once

#include "hosted/web/WebBrowserWrapper.h"

// A web page wrapper; CExplorer is its twin under another name.
class CRadio_explorer : public CWebBrowserWrapper
{
    Q_OBJECT

public:
    using CWebBrowserWrapper::CWebBrowserWrapper;
};
