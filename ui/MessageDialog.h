#pragma once

#include "ui/SkinnedDialog.h"

#include <QByteArray>

class CColorStatic;

// The program's modal message: one text, one OK button, centred on the screen. Enter presses
// OK; Escape does nothing (the key filter swallows it).
class CMessage : public SkinnedDialog
{
    Q_OBJECT

public:
    static constexpr int kIdOk = 1;
    static constexpr int kIdText = 1114;

    explicit CMessage(const Skin& skin, QWidget* parent = nullptr);

    QByteArray m_strText;

    // Breaks the text, shows it and centres the dialog; call before exec().
    void OnInitDialog();

private:
    CColorStatic* m_text = nullptr;
};

// Shows `text` in the program's message dialog and returns when the user closes it.
void ShowMessage(const QByteArray& text, const Skin& skin, QWidget* parent = nullptr);
