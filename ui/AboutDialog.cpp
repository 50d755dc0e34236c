#include "ui/AboutDialog.h"

#include "ui/BodyDrag.h"
#include "ui/ColorStatic.h"
#include "ui/SkinCursors.h"

#include <QLabel>
#include <QPushButton>

static void InitUiResources()
{
    // The logo lives in this static library's resources; make sure the linker keeps them.
    Q_INIT_RESOURCE(ui);
}

namespace {

CColorStatic* AddLine(QWidget* client, int id, const QByteArray& text, const DialogRect& rect,
                      qreal scale)
{
    auto* line = new CColorStatic(client);
    line->SetText(text);
    PlaceControl(line, id, rect, scale);
    return line;
}

} // namespace

CRadioAbout::CRadioAbout(const Skin& skin, const QByteArray& versionText, QWidget* parent)
    : SkinnedDialog(skin, {0, 0, 230, 171}, parent)
{
    InitUiResources();

    AddLine(Client(), kIdTitle, "Wavelark Plus", {8, 19, 213, 10}, Scale());

    auto* logo = new QLabel(Client());
    logo->setPixmap(QPixmap(QStringLiteral(":/ui/logo.png")));
    logo->setScaledContents(true);
    // A picture on the body, not a control: the mouse goes through it.
    logo->setAttribute(Qt::WA_TransparentForMouseEvents);
    logo->setGeometry(DialogUnitsToPixels({50, 43, 135, 29}, Scale()));

    AddLine(Client(), kIdLine1, "Internet radio from the notification area", {7, 89, 216, 11},
            Scale());
    AddLine(Client(), kIdLine2, "Channels from around the world, one click away", {7, 107, 216, 12},
            Scale());
    AddLine(Client(), kIdLine3, versionText.isEmpty() ? QByteArray() : "Version " + versionText,
            {7, 126, 216, 11}, Scale());

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
    QWidget::showEvent(event);
}
