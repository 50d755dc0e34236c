#pragma once

#include <QMutex>
#include <QUrl>
#include <QWebEngineUrlRequestInterceptor>
#include <bitset>

// Lets through only the requests that go to the server of the page the program opened: every
// script, style sheet, image, font, audio or video, fetch and XMLHttpRequest, WebSocket, beacon
// and ping, worker and frame of a page (of a data: or srcdoc frame inside it too) is checked
// here, not only the navigations the page asks for. Before an origin is set nothing goes out.
// A page's own data: and blob: addresses never leave the engine and pass. One request escapes
// it: one the page's own server redirects elsewhere, which the engine (Qt 6.4) follows before it
// asks the filter; the answer is then cut short.
//
// The engine calls interceptRequest on a thread of its choosing; the origin is guarded.
class SameOriginRequests : public QWebEngineUrlRequestInterceptor
{
    Q_OBJECT

public:
    explicit SameOriginRequests(QObject* parent = nullptr);

    void SetOrigin(const QUrl& origin);
    void interceptRequest(QWebEngineUrlRequestInfo& info) override;

    // Whether `url` goes to the server of `origin`: same scheme (ws counting as http, wss as
    // https), host and port.
    static bool SameServer(const QUrl& url, const QUrl& origin);

private:
    QMutex m_mutex;
    QUrl m_origin;
    // One warning per kind of request (the engine's resource types are below 256).
    std::bitset<256> m_logged;
};
