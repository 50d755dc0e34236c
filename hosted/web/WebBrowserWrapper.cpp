#include "hosted/web/WebBrowserWrapper.h"

#include "hosted/web/WebPageEngine.h"
#include "hosted/web/WebPageEngineLoader.h"
#include "ui/DialogUnits.h"

#include <QVBoxLayout>

CWebBrowserWrapper::CWebBrowserWrapper(QWidget* parent, WebPageEngineLoader* loader)
    : QWidget(parent), m_loader(loader ? loader : &WebPageEngineLoader::Shared())
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
    // Into the parent before the view is made: a view whose page another process draws into
    // its native window by id loses that window when an ancestor's native window is made anew,
    // as a top-level's is on reparenting.
    if (parentWidget() != parent)
        setParent(parent);
    WebPageEngine* engine = m_loader->Engine();
    QWidget* view = engine ? engine->CreatePageView(this) : nullptr;
    if (!view) {
        hide();
        return false;
    }
    m_view = view;
    SetControlId(this, controlId);
    setGeometry(rectInParentClient);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_view);
    show();
    return true;
}

void CWebBrowserWrapper::Navigate(const QString& address)
{
    if (m_view)
        m_loader->Engine()->Navigate(m_view, address);
}
