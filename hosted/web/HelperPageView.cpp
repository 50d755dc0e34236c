#include "hosted/web/HelperPageView.h"

#include "hosted/web/WebPageEngineLoader.h"

#include <QCoreApplication>
#include <QLoggingCategory>
#include <QResizeEvent>
#include <QTimer>

Q_DECLARE_LOGGING_CATEGORY(lcWeb)

namespace {

constexpr int kStartTimeoutMs = 5000;
// Chromium shuts down in a few hundred milliseconds; a helper that does not is killed.
constexpr int kQuitTimeoutMs = 5000;

} // namespace

HelperPageView::HelperPageView(const QString& helperPath, QWidget* parent)
    : QWidget(parent), m_helper(new QProcess)
{
    // A native window of its own for the helper to draw into, at the wrapper's full size.
    if (parent)
        resize(parent->size());
    setAttribute(Qt::WA_NativeWindow);
    setAttribute(Qt::WA_DontCreateNativeAncestors);

    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    if (SandboxMustBeSwitchedOff(environment))
        environment.insert(QStringLiteral("QTWEBENGINE_DISABLE_SANDBOX"), QStringLiteral("1"));
    m_helper->setProcessEnvironment(environment);
    m_helper->setProcessChannelMode(QProcess::ForwardedChannels);
    m_helper->start(helperPath,
                    {QStringLiteral("--embed-into"), QString::number(winId()),
                     QStringLiteral("--size"), QStringLiteral("%1x%2").arg(width()).arg(height())});
    m_started = m_helper->waitForStarted(kStartTimeoutMs);
    if (!m_started)
        qCWarning(lcWeb).noquote()
            << "cannot start" << helperPath << ":" << m_helper->errorString();
}

HelperPageView::~HelperPageView()
{
    // The helper quits at the end of its input; the process object lives on until it has.
    QProcess* helper = m_helper;
    if (helper->state() == QProcess::NotRunning) {
        delete helper;
        return;
    }
    QObject::connect(helper, &QProcess::finished, helper, &QObject::deleteLater);
    QTimer::singleShot(kQuitTimeoutMs, helper, [helper] {
        qCWarning(lcWeb) << "the web page helper did not quit; killing it";
        helper->kill();
    });
    helper->setParent(qApp);
    helper->closeWriteChannel();
}

qint64 HelperPageView::HelperProcessId() const
{
    return m_helper->processId();
}

void HelperPageView::Navigate(const QString& address)
{
    // One line per command: a line break in the address must not start another.
    QString line = address;
    line.remove(QLatin1Char('\n')).remove(QLatin1Char('\r'));
    Send("navigate " + line.toUtf8());
}

void HelperPageView::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    Send("size " + QByteArray::number(event->size().width()) + ' ' +
         QByteArray::number(event->size().height()));
}

void HelperPageView::Send(const QByteArray& line)
{
    if (m_helper->state() != QProcess::NotRunning)
        m_helper->write(line + '\n');
}
