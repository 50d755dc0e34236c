#pragma once

#include <QString>

class WebPageEngine;

// Loads the web engine plugin the first time a page is needed, and keeps it for the life of
// the process (the engine cannot be started twice in one process, so it is never unloaded).
class WebPageEngineLoader
{
public:
    explicit WebPageEngineLoader(QString pluginPath);
    WebPageEngineLoader(const WebPageEngineLoader&) = delete;
    WebPageEngineLoader& operator=(const WebPageEngineLoader&) = delete;

    // The loader of the plugin installed next to the program file.
    static WebPageEngineLoader& Shared();
    static QString DefaultPluginPath();

    // The engine, loading it on the first call; nullptr when it cannot be loaded (the reason
    // is logged once and kept in LastError).
    WebPageEngine* Engine();
    QString LastError() const { return m_error; }

private:
    QString m_pluginPath;
    bool m_tried = false;
    WebPageEngine* m_engine = nullptr;
    QString m_error;
};

// Done once before the engine's library is loaded:
// - as root, Chromium refuses to start with its sandbox, so the sandbox is switched off
//   (QTWEBENGINE_DISABLE_SANDBOX=1) when, and only when, the effective user is root;
// - the engine shares GL resources with Qt through a global share context, which Qt would
//   create at start-up for every run if asked to there; it is created here instead.
void PrepareProcessForWebEngine();
