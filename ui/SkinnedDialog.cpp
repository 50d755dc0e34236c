#include "ui/SkinnedDialog.h"

#include "ui/ColorStatic.h"
#include "ui/DialogFont.h"
#include "ui/FocusMark.h"
#include "ui/Skin.h"
#include "ui/TabOrder.h"

#include <QLabel>
#include <QPainter>
#include <QPushButton>

static void InitUiResources()
{
    // The logo lives in this static library's resources; make sure the linker keeps them.
    Q_INIT_RESOURCE(ui);
}

namespace {

constexpr int kBorder = 1;

// The client area, filled with the skin gradient.
class SkinClient : public QWidget
{
public:
    SkinClient(const Skin& skin, QWidget* parent) : QWidget(parent), m_skin(skin) {}

protected:
    void paintEvent(QPaintEvent* /*event*/) override
    {
        QPainter painter(this);
        m_skin.FillSkinGradient(painter, rect());
    }

private:
    const Skin& m_skin;
};

} // namespace

SkinnedDialog::SkinnedDialog(const Skin& skin, const DialogRect& size, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint), m_scale(DpiScale(parent))
{
    // The templates' dialog units assume their dialog font (base units 6 x 13 at 96 DPI); with
    // a font of those metrics the texts fit their controls.
    setFont(DialogFont());

    const QSize client = DialogUnitsToPixels(size, m_scale).size();
    m_client = new SkinClient(skin, this);
    m_client->setGeometry(kBorder, kBorder, client.width(), client.height());
    setFixedSize(client.width() + 2 * kBorder, client.height() + 2 * kBorder);
    // The window has no caption to read; screen readers name it after the program.
    setAccessibleName(QStringLiteral("Wavelark"));
    m_focusMark = new FocusMark(m_client);
}

void SkinnedDialog::showEvent(QShowEvent* event)
{
    SetReadingTabOrder(m_client);
    QDialog::showEvent(event);
}

void SkinnedDialog::paintEvent(QPaintEvent* /*event*/)
{
    QPainter painter(this);
    painter.setPen(QColor(100, 100, 100));
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
}

QPushButton* SkinnedDialog::AddButton(int id, const QString& text, const DialogRect& rect)
{
    auto* button = new QPushButton(text, m_client);
    PlaceControl(button, id, rect, m_scale);
    button->setCursor(Qt::PointingHandCursor);
    return button;
}

QLabel* SkinnedDialog::AddLogo(const DialogRect& rect)
{
    InitUiResources();
    auto* logo = new QLabel(m_client);
    logo->setPixmap(QPixmap(QStringLiteral(":/ui/logo.png")));
    logo->setScaledContents(true);
    logo->setAttribute(Qt::WA_TransparentForMouseEvents);
    logo->setAccessibleName(QStringLiteral("Wavelark"));
    logo->setGeometry(DialogUnitsToPixels(rect, m_scale));
    return logo;
}

CColorStatic* SkinnedDialog::AddStatic(int id, const QByteArray& text, const DialogRect& rect)
{
    auto* label = new CColorStatic(m_client);
    label->SetText(text);
    PlaceControl(label, id, rect, m_scale);
    return label;
}
