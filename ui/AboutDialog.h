#pragma once

#include "ui/SkinnedDialog.h"

// The about dialog: title, logo, three text lines and "Close". It opens where the window
// system places it and is not dragged.
class CRadioAbout : public SkinnedDialog
{
    Q_OBJECT

public:
    static constexpr int kIdTitle = 1022;
    static constexpr int kIdLine1 = 1023;
    static constexpr int kIdLine2 = 1110;
    static constexpr int kIdLine3 = 1015;
    static constexpr int kIdClose = 1;

    // `versionText` ("3.0") goes into the last text line.
    explicit CRadioAbout(const Skin& skin, const QByteArray& versionText = QByteArray(),
                         QWidget* parent = nullptr);

protected:
    // Skips the dialog's own centring, so the window asks for no position and the window
    // manager places it.
    void showEvent(QShowEvent* event) override;
};
