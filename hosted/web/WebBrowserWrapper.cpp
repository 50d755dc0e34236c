#include "hosted/web/WebBrowserWrapper.h"

#include "hosted/web/WebPageEngine.h"
#include "hosted/web/WebPageEngineLoader.h"
#include "ui/DialogUnits.h"

#include <QVBoxLayout>

CWebBrowserWrapper::CWebBrowserWrapper(QWidget* parent, WebPageEngineLoader* loader)
    : QWidget(parent), m_loader(loader)
{
    hide();
}

CWebBrowserWrapper::~CWebBrowserWrapper()
{
    // The view goes first, while the wrapper is still whole: it releases the page before the
    // profile behind it.
    delete m_view;
}

bool CWebBrowserWrapper::Create(const QRect& rectInParentClient, QWidget* parent, int controlId)
{
    if (m_view)
        return true;
    WebPageEngine* engine = m_loader ? m_loader->Engine() : nullptr;
    if (!engine) {
        hide();
        return false;
    }
    // The wrapper takes its place before the view exists: a page drawn by a helper process goes
    // into the view's native window, and moving the wrapper into another window afterwards
    // would make that native window anew and leave the helper drawing into nothing.
    if (parentWidget() != parent)
        setParent(parent);
    setGeometry(rectInParentClient);
    show();
    QWidget* view = engine->CreatePageView(this);
    if (!view) {
        hide();
        return false;
    }
    m_view = view;
    SetControlId(this, controlId);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_view);
    m_view->show();
    return true;
}

void CWebBrowserWrapper::Navigate(const QString& address)
{
    if (m_view)
        m_loader->Engine()->Navigate(m_view, address);
}
