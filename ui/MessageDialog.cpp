#include "ui/MessageDialog.h"

#include "ui/ColorStatic.h"
#include "ui/MessageText.h"
#include "ui/SkinCursors.h"

#include <QGuiApplication>
#include <QPushButton>
#include <QScreen>

CMessage::CMessage(const Skin& skin, QWidget* parent) : SkinnedDialog(skin, {0, 0, 357, 70}, parent)
{
    QPushButton* ok = AddButton(kIdOk, QStringLiteral("OK"), {157, 51, 50, 14});
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);

    m_text = AddStatic(kIdText, QByteArray(), {1, 20, 355, 29});
    ApplyHandCursors(this, HandCursorRule::ButtonsAndSliders);
}

void CMessage::OnInitDialog()
{
    m_text->SetText(BreakMessageLine(m_strText));
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect frame(QPoint(), size());
        frame.moveCenter(screen->geometry().center());
        move(frame.topLeft());
    }
}

void ShowMessage(const QByteArray& text, const Skin& skin, QWidget* parent)
{
    CMessage dialog(skin, parent);
    dialog.m_strText = text;
    dialog.OnInitDialog();
    dialog.exec();
}
