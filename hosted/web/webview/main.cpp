// wavelark-webview: the web page helper of the radio window (see hosted/web/HelperPageView.h).
//
//   wavelark-webview [--embed-into WINDOW-ID] [--size WIDTHxHEIGHT]
//
// Shows one page view inside the given native window of another process (where the platform
// allows that), loads every address given as "navigate ADDRESS" on standard input, takes a new
// size from "size WIDTH HEIGHT", and quits at the end of its input.
#include "hosted/web/engine/EnginePageView.h"

#include <QApplication>
#include <QSocketNotifier>
#include <QWindow>
#include <cstdio>
#include <memory>
#include <unistd.h>

namespace {

QSize ParseSize(const QByteArray& text, char separator)
{
    const QList<QByteArray> parts = text.split(separator);
    if (parts.size() != 2)
        return {};
    return QSize(parts[0].toInt(), parts[1].toInt());
}

void EmbedInto(QWidget* view, QWindow* host)
{
    view->winId();
    if (view->windowHandle()->parent() != host) {
        view->windowHandle()->setParent(host);
        view->move(0, 0);
    }
}

// Puts the view back into the host's window whenever its native window is made anew.
class EmbedKeeper : public QObject
{
public:
    EmbedKeeper(QWidget* view, QWindow* host) : QObject(view), m_view(view), m_host(host) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        // Only a window that exists: one being destroyed must not be made again.
        if (watched == m_view && event->type() == QEvent::WinIdChange && m_view->internalWinId())
            EmbedInto(m_view, m_host);
        return false;
    }

private:
    QWidget* m_view;
    QWindow* m_host;
};

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);

    WId host = 0;
    QSize size(640, 480);
    const QStringList arguments = QCoreApplication::arguments();
    for (qsizetype i = 1; i + 1 < arguments.size(); i += 2) {
        if (arguments[i] == QLatin1String("--embed-into"))
            host = arguments[i + 1].toULongLong();
        else if (arguments[i] == QLatin1String("--size"))
            size = ParseSize(arguments[i + 1].toLatin1(), 'x');
    }

    auto view = std::make_unique<EnginePageView>(nullptr);
    view->setWindowFlags(Qt::FramelessWindowHint);
    view->resize(size.isValid() ? size : QSize(640, 480));
    QWindow* hostWindow = host ? QWindow::fromWinId(host) : nullptr;
    if (hostWindow) {
        EmbedInto(view.get(), hostWindow);
        // Qt makes a new native window for the view when the page's GL surface arrives.
        view->installEventFilter(new EmbedKeeper(view.get(), hostWindow));
    } else if (host) {
        std::fprintf(stderr, "wavelark-webview: cannot embed into window %llu here\n",
                     static_cast<unsigned long long>(host));
    }
    view->show();

    QByteArray pending;
    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, [&] {
        char buffer[4096];
        const ssize_t got = ::read(STDIN_FILENO, buffer, sizeof buffer);
        if (got <= 0) {
            input.setEnabled(false);
            QCoreApplication::exit(0); // not quit(): that first asks every window to close
            return;
        }
        pending.append(buffer, got);
        for (qsizetype end = pending.indexOf('\n'); end >= 0; end = pending.indexOf('\n')) {
            const QByteArray line = pending.left(end).trimmed();
            pending.remove(0, end + 1);
            if (line.startsWith("navigate ")) {
                view->Navigate(QString::fromUtf8(line.mid(9)));
            } else if (line.startsWith("size ")) {
                const QSize newSize = ParseSize(line.mid(5), ' ');
                if (newSize.isValid())
                    view->resize(newSize);
            }
        }
    });
    const int result = QApplication::exec();
    view.reset(); // the page and its profile go before the engine shuts down
    return result;
}
