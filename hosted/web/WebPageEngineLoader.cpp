#include "hosted/web/WebPageEngineLoader.h"

#include "hosted/web/HelperProcessEngine.h"
#include "hosted/web/WebPageEngine.h"
#include "hosted/web/policy/PagePolicy.h"

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
constexpr char kHelperFileName[] = "wavelark-webview";
constexpr char kDisableSandboxVariable[] = "QTWEBENGINE_DISABLE_SANDBOX";

void CreateGlobalShareContext()
{
    if (qt_gl_global_share_context() || !qobject_cast<QGuiApplication*>(qApp))
        return;
    auto* context = new QOpenGLContext(qApp);
    // Set even when it cannot be created (no GL on an offscreen platform without a display):
    // the engine reads it unchecked, and draws in software then.
    if (!context->create())
        qCDebug(lcWeb) << "no GL context to share with the web engine";
    qt_gl_set_global_share_context(context);
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
}

} // namespace

bool SandboxMustBeSwitchedOff(const QProcessEnvironment& environment)
{
    if (environment.contains(QLatin1String(kDisableSandboxVariable)) ||
        !PagesRenderWithoutSandbox(::geteuid(), environment, QCoreApplication::arguments()))
        return false;
    qCInfo(lcWeb) << "the web engine runs without its sandbox: pages only over https or from"
                  << "a server on this machine run by root or this user";
    return true;
}

void PrepareProcessForWebEngine()
{
    static bool prepared = false;
    if (prepared)
        return;
    prepared = true;
    if (SandboxMustBeSwitchedOff(QProcessEnvironment::systemEnvironment()))
        qputenv(kDisableSandboxVariable, "1");
    CreateGlobalShareContext();
}

WebPageEngineLoader::WebPageEngineLoader(Kind kind, QString path)
    : m_kind(kind), m_path(std::move(path))
{
}

WebPageEngineLoader::~WebPageEngineLoader() = default;

std::unique_ptr<WebPageEngineLoader> WebPageEngineLoader::ForThisDisplay()
{
    const bool embeds = QGuiApplication::platformName() == QLatin1String("xcb");
    if (embeds && QFileInfo(DefaultHelperPath()).isExecutable())
        return std::make_unique<WebPageEngineLoader>(Kind::HelperProcess, DefaultHelperPath());
    return std::make_unique<WebPageEngineLoader>(Kind::Plugin, DefaultPluginPath());
}

QString WebPageEngineLoader::DefaultHelperPath()
{
    return QCoreApplication::applicationDirPath() + QLatin1Char('/') +
           QLatin1String(kHelperFileName);
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
    if (!QFileInfo::exists(m_path)) {
        m_error = QStringLiteral("no web engine at ") + m_path;
    } else if (m_kind == Kind::HelperProcess && !QFileInfo(m_path).isExecutable()) {
        m_error = m_path + QStringLiteral(" is not a program");
    } else if (m_kind == Kind::HelperProcess) {
        m_helperEngine = std::make_unique<HelperProcessEngine>(m_path);
        m_engine = m_helperEngine.get();
    } else {
        m_engine = LoadPlugin();
    }
    if (m_engine)
        qCInfo(lcWeb) << "web engine:" << m_path;
    else
        qCWarning(lcWeb).noquote() << "cannot load the web engine:" << m_error;
    return m_engine;
}

WebPageEngine* WebPageEngineLoader::LoadPlugin()
{
    PrepareProcessForWebEngine();
    QPluginLoader plugin(m_path);
    QObject* instance = plugin.instance();
    auto* engine = qobject_cast<WebPageEngine*>(instance);
    if (!instance)
        m_error = plugin.errorString();
    else if (!engine)
        m_error = m_path + QStringLiteral(" is not a web engine plugin");
    return engine;
}
