#include "ui/AboutDialog.h"

#include "ui/BodyDrag.h"
#include "ui/SkinCursors.h"
#include "ui/TabOrder.h"

#include <QPushButton>

CRadioAbout::CRadioAbout(const Skin& skin, const QByteArray& versionText, QWidget* parent)
    : SkinnedDialog(skin, {0, 0, 230, 171}, parent)
{
    AddStatic(kIdTitle, "Wavelark Plus", {8, 19, 213, 10});

    AddLogo({50, 43, 135, 29});

    AddStatic(kIdLine1, "Internet radio from the notification area", {7, 89, 216, 11});
    AddStatic(kIdLine2, "Channels from around the world, one click away", {7, 107, 216, 12});
    AddStatic(kIdLine3, versionText.isEmpty() ? QByteArray() : "Version " + versionText,
              {7, 126, 216, 11});

    QPushButton* close = AddButton(kIdClose, QStringLiteral("Close"), {71, 146, 88, 16});
    close->setDefault(true);
    connect(close, &QPushButton::clicked, this, &QDialog::accept);

    // The open hand is its cursor, though it is not moved by its body; moving over the body
    // lifts "Close".
    auto* body = new BodyDrag(this, BodyDrag::Mode::CursorOnly);
    body->SetUnpushedOnMove({close});
    ApplyHandCursors(this, HandCursorRule::ButtonsOnly);
}

void CRadioAbout::showEvent(QShowEvent* event)
{
    SetReadingTabOrder(Client());
    QWidget::showEvent(event);
}
