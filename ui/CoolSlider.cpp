#include "ui/CoolSlider.h"

#include "ui/DialogUnits.h"
#include "ui/OwnerDrawnBox.h"
#include "ui/Skin.h"
#include "ui/SkinnedDialog.h"

#include <QHoverEvent>
#include <QPainter>
#include <QProxyStyle>
#include <QStyleOptionSlider>
#include <cmath>

namespace {

constexpr int kChannelThickness = 4;
constexpr int kTickLength = 4;
// The thumb: an upright box, 11 x 21 pixels at 96 DPI.
constexpr int kThumbLength = 11;
constexpr int kThumbThickness = 21;

// Gives the slider's style the thumb's size, so the mouse handling of the slider and the
// painting agree on where the thumb is.
class ThumbSizeStyle : public QProxyStyle
{
public:
    explicit ThumbSizeStyle(qreal scale) : m_scale(scale) {}

    int pixelMetric(PixelMetric metric, const QStyleOption* option,
                    const QWidget* widget) const override
    {
        switch (metric) {
        case PM_SliderLength:
            return Scaled(kThumbLength);
        case PM_SliderThickness:
        case PM_SliderControlThickness:
            return Scaled(kThumbThickness);
        default:
            return QProxyStyle::pixelMetric(metric, option, widget);
        }
    }

private:
    int Scaled(int pixels) const { return int(std::lround(pixels * m_scale)); }

    qreal m_scale;
};

} // namespace

CCoolSlider::CCoolSlider(const Skin& skin, QWidget* parent)
    : QSlider(Qt::Horizontal, parent), m_skin(skin), m_activeColour(skin.SkinColour())
{
    setAttribute(Qt::WA_Hover);
    auto* thumbStyle = new ThumbSizeStyle(DpiScale(parent));
    thumbStyle->setParent(this);
    setStyle(thumbStyle);
}

void CCoolSlider::AttachToWindow(QWidget* window)
{
    if (!window)
        return;
    QWidget* surface = window;
    if (auto* dialog = qobject_cast<SkinnedDialog*>(window))
        surface = dialog->Client();
    if (parentWidget() == surface)
        return;
    const bool wasHidden = isHidden();
    const QPoint place = parentWidget() ? surface->mapFromGlobal(mapToGlobal(QPoint(0, 0))) : pos();
    setParent(surface);
    move(place);
    if (!wasHidden)
        show();
}

QRect CCoolSlider::ThumbRect() const
{
    QStyleOptionSlider option;
    initStyleOption(&option);
    return style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, this);
}

bool CCoolSlider::ThumbActive() const
{
    return isSliderDown() || m_thumbHot || (m_keyboardFocus && hasFocus());
}

bool CCoolSlider::event(QEvent* event)
{
    switch (event->type()) {
    case QEvent::HoverEnter:
    case QEvent::HoverMove:
        SetThumbHot(ThumbRect().contains(static_cast<QHoverEvent*>(event)->position().toPoint()));
        break;
    case QEvent::HoverLeave:
        SetThumbHot(false);
        break;
    default:
        break;
    }
    return QSlider::event(event);
}

void CCoolSlider::SetThumbHot(bool hot)
{
    if (hot == m_thumbHot)
        return;
    m_thumbHot = hot;
    update();
}

void CCoolSlider::mousePressEvent(QMouseEvent* event)
{
    m_keyboardFocus = false;
    QSlider::mousePressEvent(event);
    update();
    if (event->button() == Qt::LeftButton)
        Q_EMIT Scrolled(value());
}

void CCoolSlider::mouseReleaseEvent(QMouseEvent* event)
{
    QSlider::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton)
        Q_EMIT Scrolled(value());
}

void CCoolSlider::keyPressEvent(QKeyEvent* event)
{
    m_keyboardFocus = true;
    QSlider::keyPressEvent(event);
    update();
    switch (event->key()) {
    case Qt::Key_Left:
    case Qt::Key_Right:
    case Qt::Key_Up:
    case Qt::Key_Down:
    case Qt::Key_PageUp:
    case Qt::Key_PageDown:
    case Qt::Key_Home:
    case Qt::Key_End:
        Q_EMIT Scrolled(value());
        break;
    default:
        break;
    }
}

void CCoolSlider::wheelEvent(QWheelEvent* event)
{
    QSlider::wheelEvent(event);
    Q_EMIT Scrolled(value());
}

void CCoolSlider::focusInEvent(QFocusEvent* event)
{
    const Qt::FocusReason reason = event->reason();
    m_keyboardFocus = reason == Qt::TabFocusReason || reason == Qt::BacktabFocusReason ||
                      reason == Qt::ShortcutFocusReason;
    QSlider::focusInEvent(event);
    update();
}

void CCoolSlider::focusOutEvent(QFocusEvent* event)
{
    m_keyboardFocus = false;
    QSlider::focusOutEvent(event);
    update();
}

void CCoolSlider::paintEvent(QPaintEvent* /*event*/)
{
    QPainter painter(this);

    // The parent's client area in this slider's coordinates, so each column gets the colour
    // the parent paints at that column.
    if (const QWidget* parent = parentWidget())
        m_skin.FillSkinGradient(painter, QRect(-x(), 0, parent->width(), parent->height()));
    else
        m_skin.FillSkinGradient(painter, rect());

    const QRect thumb = ThumbRect();
    PaintChannel(painter, thumb);
    PaintTicks(painter, thumb);

    // The rounded outer box: its corner pixels stay unpainted. Then the inner box, 2 pixels in
    // from the outer box's top and bottom, framed black.
    const QColor black(0, 0, 0);
    painter.fillRect(thumb.adjusted(1, 1, -1, -1), IdleColour());
    painter.fillRect(QRect(thumb.left() + 1, thumb.top(), thumb.width() - 2, 1), black);
    painter.fillRect(QRect(thumb.left() + 1, thumb.bottom(), thumb.width() - 2, 1), black);
    painter.fillRect(QRect(thumb.left(), thumb.top() + 1, 1, thumb.height() - 2), black);
    painter.fillRect(QRect(thumb.right(), thumb.top() + 1, 1, thumb.height() - 2), black);
    const QRect inner = thumb.adjusted(0, 2, 0, -2);
    painter.fillRect(inner, ThumbActive() ? m_activeColour : IdleColour());
    OwnerDrawnBox::FrameRect(painter, inner, black);
}

void CCoolSlider::PaintChannel(QPainter& painter, const QRect& thumb)
{
    // A sunken groove along which the thumb's centre travels.
    const int half = thumb.width() / 2;
    const QRect channel(half, thumb.center().y() - kChannelThickness / 2 + 1, width() - 2 * half,
                        kChannelThickness);
    if (channel.width() <= 0)
        return;
    const QColor shadow(160, 160, 160), darkShadow(105, 105, 105), light(227, 227, 227),
        highlight(255, 255, 255);
    painter.fillRect(channel, light);
    painter.fillRect(QRect(channel.left(), channel.top(), channel.width(), 1), shadow);
    painter.fillRect(QRect(channel.left(), channel.top(), 1, channel.height()), shadow);
    painter.fillRect(QRect(channel.left() + 1, channel.top() + 1, channel.width() - 2, 1),
                     darkShadow);
    painter.fillRect(QRect(channel.left(), channel.bottom(), channel.width(), 1), highlight);
    painter.fillRect(QRect(channel.right(), channel.top(), 1, channel.height()), highlight);
}

void CCoolSlider::PaintTicks(QPainter& painter, const QRect& thumb)
{
    if (tickPosition() == NoTicks || maximum() <= minimum())
        return;
    const int half = thumb.width() / 2;
    const int span = width() - 2 * half - 1;
    const int interval = tickInterval() > 0 ? tickInterval() : maximum() - minimum();
    for (qint64 value = minimum(); value <= maximum(); value += interval) {
        const int x =
            half + QStyle::sliderPositionFromValue(minimum(), maximum(), int(value), span);
        if (tickPosition() & TicksAbove)
            painter.fillRect(QRect(x, thumb.top() - kTickLength - 1, 1, kTickLength), Qt::black);
        if (tickPosition() & TicksBelow)
            painter.fillRect(QRect(x, thumb.bottom() + 2, 1, kTickLength), Qt::black);
    }
}
