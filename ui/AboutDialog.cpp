#include "ui/AboutDialog.h"

#include "ui/ColorStatic.h"

#include <QLabel>
#include <QMouseEvent>
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
    setCursor(Qt::OpenHandCursor);
    setMouseTracking(true);
    Client()->setMouseTracking(true);

    AddLine(Client(), kIdTitle, "Wavelark Plus", {8, 19, 213, 10}, Scale());

    auto* logo = new QLabel(Client());
    logo->setPixmap(QPixmap(QStringLiteral(":/ui/logo.png")));
    logo->setScaledContents(true);
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
}

void CRadioAbout::mouseMoveEvent(QMouseEvent* event)
{
    // Leaving the button over the dialog's body drops its pushed look.
    if (auto* close = qobject_cast<QPushButton*>(FindControl(this, kIdClose)))
        close->setDown(false);
    SkinnedDialog::mouseMoveEvent(event);
}

void CRadioAbout::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton)
        setCursor(Qt::OpenHandCursor);
    SkinnedDialog::mouseReleaseEvent(event);
}
