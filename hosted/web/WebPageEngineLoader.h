#pragma once

#include <QProcessEnvironment>
#include <QString>
#include <memory>

class WebPageEngine;

// Finds the web engine the first time a page is needed and keeps it for the life of the
// process. Two kinds, both beside the program file:
// - the helper program wavelark-webview, where the engine runs in a process of its own that
//   ends with the page view, so closing the window gives back everything the page took; used
//   where windows of another process can be embedded (X11);
// - the plugin libwavelark_webengine.so, loaded into this process (elsewhere, e.g. Wayland or
//   offscreen). Chromium cannot be started twice in one process, so it is never unloaded.
// Either way the engine's library is not touched before the first page.
class WebPageEngineLoader
{
public:
    enum class Kind { HelperProcess, Plugin };

    WebPageEngineLoader(Kind kind, QString path);
    ~WebPageEngineLoader();
    WebPageEngineLoader(const WebPageEngineLoader&) = delete;
    WebPageEngineLoader& operator=(const WebPageEngineLoader&) = delete;

    // The loader for this display: the helper on X11 when it is installed, else the plugin.
    // The program makes one at start-up and keeps it for the life of the process.
    static std::unique_ptr<WebPageEngineLoader> ForThisDisplay();
    static QString DefaultHelperPath();
    static QString DefaultPluginPath();

    // The engine, found on the first call; nullptr when it cannot be had (the reason is logged
    // once and kept in LastError).
    WebPageEngine* Engine();
    QString LastError() const { return m_error; }

private:
    WebPageEngine* LoadPlugin();

    Kind m_kind;
    QString m_path;
    bool m_tried = false;
    WebPageEngine* m_engine = nullptr;
    std::unique_ptr<WebPageEngine> m_helperEngine;
    QString m_error;
};

// Whether a web engine started with `environment` must be told to run without its sandbox
// (QTWEBENGINE_DISABLE_SANDBOX=1): when PagesRenderWithoutSandbox says it will anyway (as root
// Chromium refuses to start with it) and the environment does not say so already. The page view
// polices pages by the same answer, so the two never disagree.
bool SandboxMustBeSwitchedOff(const QProcessEnvironment& environment);

// Done once before the engine's library is loaded into this process:
// - the sandbox is switched off when SandboxMustBeSwitchedOff says so;
// - the engine shares GL resources with Qt through a global share context, which Qt would
//   create at start-up for every run if asked to there (Qt::AA_ShareOpenGLContexts before the
//   application object: about 37 MiB and half a second); it is created here instead.
void PrepareProcessForWebEngine();
