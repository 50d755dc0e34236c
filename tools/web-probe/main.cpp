// wavelark-web-probe: a tray program that opens, shows and destroys a web page window on
// command, the way the radio window does, so the web engine's cost can be measured without
// clicking through the real program (scripts/bench-pages drives it).
//
//   wavelark-web-probe [--in-process]   (the engine as a plugin in this process, not in a helper)
//
// Commands, one per line on stdin; each is answered with one line on stdout when done:
//   open ADDRESS   make the window and its page view on first use, load ADDRESS, show it
//   grab FILE      save a picture of the window to FILE (PNG)
//   close          destroy the window and its view
//   quit
#include "hosted/web/Radio_explorer.h"
#include "hosted/web/WebPageEngineLoader.h"

#include <QApplication>
#include <QGuiApplication>
#include <QPixmap>
#include <QPointer>
#include <QScreen>
#include <QSocketNotifier>
#include <QSystemTrayIcon>
#include <QWidget>
#include <cstdio>
#include <memory>
#include <unistd.h>

namespace {

constexpr int kWebControlId = 1088;
// The radio window's widened layout: the page sits right of the normal window area.
constexpr int kPageLeft = 345;
constexpr int kPageTop = 40;
constexpr int kPageHeight = 690;
constexpr int kWindowHeight = 740;

void Answer(const char* text)
{
    std::printf("%s\n", text);
    std::fflush(stdout);
}

class Probe
{
public:
    explicit Probe(WebPageEngineLoader* loader) : m_loader(loader) {}

    void Run(const QByteArray& line)
    {
        const QByteArray command = line.trimmed();
        if (command.startsWith("open ")) {
            Open(QString::fromUtf8(command.mid(5)));
        } else if (command.startsWith("grab ")) {
            const bool saved = m_window && m_window->grab().save(QString::fromUtf8(command.mid(5)));
            Answer(saved ? "grabbed" : "grab failed");
        } else if (command == "close") {
            delete m_window;
            Answer("closed");
        } else if (command == "quit") {
            QCoreApplication::quit();
        } else if (!command.isEmpty()) {
            Answer("unknown command");
        }
    }

private:
    void Open(const QString& address)
    {
        const int screenWidth = QGuiApplication::primaryScreen()->geometry().width();
        if (!m_window) {
            m_window = new QWidget;
            m_window->setWindowTitle(QStringLiteral("Wavelark"));
            m_window->setGeometry(0, 30, screenWidth, kWindowHeight);
            m_explorer = new CRadio_explorer(m_window, m_loader);
        }
        if (!m_explorer->Create(
                QRect(kPageLeft, kPageTop, screenWidth - kPageLeft - 10, kPageHeight), m_window,
                kWebControlId)) {
            Answer("no web engine");
            return;
        }
        m_explorer->Navigate(address);
        m_window->show();
        Answer("opened");
    }

    WebPageEngineLoader* m_loader;
    QPointer<QWidget> m_window;
    CRadio_explorer* m_explorer = nullptr;
};

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    app.setQuitOnLastWindowClosed(false);

    QPixmap pixmap(22, 22);
    pixmap.fill(QColor(0x25, 0x51, 0x7a));
    QSystemTrayIcon icon{QIcon(pixmap)};
    icon.show();

    const std::unique_ptr<WebPageEngineLoader> engine =
        QCoreApplication::arguments().contains(QStringLiteral("--in-process"))
            ? std::make_unique<WebPageEngineLoader>(WebPageEngineLoader::Kind::Plugin,
                                                    WebPageEngineLoader::DefaultPluginPath())
            : WebPageEngineLoader::ForThisDisplay();
    Probe probe(engine.get());
    QByteArray pending;
    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, [&] {
        char buffer[1024];
        const ssize_t got = ::read(STDIN_FILENO, buffer, sizeof buffer);
        if (got <= 0) {
            QCoreApplication::quit();
            return;
        }
        pending.append(buffer, got);
        for (qsizetype end = pending.indexOf('\n'); end >= 0; end = pending.indexOf('\n')) {
            const QByteArray line = pending.left(end);
            pending.remove(0, end + 1);
            probe.Run(line);
        }
    });
    Answer("ready");
    return app.exec();
}
