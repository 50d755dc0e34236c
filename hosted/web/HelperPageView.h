#pragma once

#include <QProcess>
#include <QWidget>

// A page view whose web engine runs in a helper process of its own (wavelark-webview), which
// draws into this widget's native window. Chromium cannot be shut down inside a process once
// started, and in-process it keeps well over 100 MiB after its last page is gone; a helper
// takes everything with it when it exits, which it does when this view is deleted.
//
// The helper is started with "--embed-into WINDOW-ID --size WIDTHxHEIGHT" and then told, one
// line each on its standard input, "navigate ADDRESS" and "size WIDTH HEIGHT"; the end of its
// input tells it to quit. Deleting the view does not wait for that: the helper process is
// reaped in the background (and killed if it has not ended within seconds).
class HelperPageView : public QWidget
{
    Q_OBJECT

public:
    // Starts `helperPath`; check Started() before use.
    HelperPageView(const QString& helperPath, QWidget* parent);
    ~HelperPageView() override;

    bool Started() const { return m_started; }
    // The helper's process id while it runs, else 0.
    qint64 HelperProcessId() const;
    void Navigate(const QString& address);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void Send(const QByteArray& line);

    QProcess* m_helper;
    bool m_started = false;
};
