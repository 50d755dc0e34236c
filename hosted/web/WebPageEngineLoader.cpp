#include "hosted/web/WebPageEngineLoader.h"

#include "hosted/web/WebPageEngine.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLoggingCategory>
#include <QOpenGLContext>
#include <QPluginLoader>
#include <unistd.h>

Q_LOGGING_CATEGORY(lcWeb, "wavelark.web")

// Exported by Qt GUI without a public declaration; the web engine checks it when it loads.
QT_BEGIN_NAMESPACE
Q_GUI_EXPORT void qt_gl_set_global_share_context(QOpenGLContext* context);
Q_GUI_EXPORT QOpenGLContext* qt_gl_global_share_context();
QT_END_NAMESPACE

namespace {

constexpr char kPluginFileName[] = "libwavelark_webengine.so";
constexpr char kDisableSandboxVariable[] = "QTWEBENGINE_DISABLE_SANDBOX";

void CreateGlobalShareContext()
{
    if (qt_gl_global_share_context() || !qobject_cast<QGuiApplication*>(qApp))
        return;
    auto* context = new QOpenGLContext(qApp);
    if (!context->create()) {
        // Without GL (an offscreen platform without a display) the engine draws in software.
        qCDebug(lcWeb) << "no GL context to share with the web engine";
        delete context;
        return;
    }
    qt_gl_set_global_share_context(context);
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
}

} // namespace

void PrepareProcessForWebEngine()
{
    static bool prepared = false;
    if (prepared)
        return;
    prepared = true;
    if (::geteuid() == 0 && !qEnvironmentVariableIsSet(kDisableSandboxVariable)) {
        qCInfo(lcWeb) << "running as root: the web engine runs without its sandbox";
        qputenv(kDisableSandboxVariable, "1");
    }
    CreateGlobalShareContext();
}

WebPageEngineLoader::WebPageEngineLoader(QString pluginPath) : m_pluginPath(std::move(pluginPath))
{
}

WebPageEngineLoader& WebPageEngineLoader::Shared()
{
    static WebPageEngineLoader loader(DefaultPluginPath());
    return loader;
}

QString WebPageEngineLoader::DefaultPluginPath()
{
    return QCoreApplication::applicationDirPath() + QLatin1Char('/') +
           QLatin1String(kPluginFileName);
}

WebPageEngine* WebPageEngineLoader::Engine()
{
    if (m_tried)
        return m_engine;
    m_tried = true;
    if (!QFileInfo::exists(m_pluginPath)) {
        m_error = QStringLiteral("no web engine plugin at ") + m_pluginPath;
    } else {
        PrepareProcessForWebEngine();
        QPluginLoader plugin(m_pluginPath);
        QObject* instance = plugin.instance();
        m_engine = qobject_cast<WebPageEngine*>(instance);
        if (!instance)
            m_error = plugin.errorString();
        else if (!m_engine)
            m_error = m_pluginPath + QStringLiteral(" is not a web engine plugin");
    }
    if (m_engine)
        qCInfo(lcWeb) << "web engine loaded from" << m_pluginPath;
    else
        qCWarning(lcWeb).noquote() << "cannot load the web engine:" << m_error;
    return m_engine;
}
