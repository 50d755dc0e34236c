#include "ui/CheckButton.h"
#include "ui/ColorStatic.h"
#include "ui/CoolSlider.h"
#include "ui/GroupBox.h"
#include "ui/OwnerDrawnBox.h"
#include "ui/RadioButton.h"
#include "ui/Skin.h"
#include "ui/SkinnedDialog.h"

#include <QApplication>
#include <QHoverEvent>
#include <QImage>
#include <QPainter>
#include <QSignalSpy>
#include <QTest>
#include <QWheelEvent>
#include <functional>
#include <gtest/gtest.h>
#include <memory>

namespace {

const QColor kBackground(150, 230, 160);
const QColor kBlack(0, 0, 0);
const QColor kGrey(204, 204, 204);

// A plain panel in one colour, so whatever a transparent control leaves unpainted shows it.
std::unique_ptr<QWidget> MakePanel(QSize size = QSize(240, 80))
{
    auto panel = std::make_unique<QWidget>();
    QPalette palette = panel->palette();
    palette.setColor(QPalette::Window, kBackground);
    panel->setPalette(palette);
    panel->setAutoFillBackground(true);
    panel->resize(size);
    return panel;
}

QColor Pixel(const QImage& image, int x, int y)
{
    return QColor(image.pixel(x, y));
}

bool IsDark(const QColor& colour)
{
    return colour.lightness() < 100;
}

// The grab of `control` with its parent's background behind it.
QImage GrabOnParent(QWidget& control)
{
    return control.parentWidget()->grab(control.geometry()).toImage();
}

} // namespace

TEST(OwnerDrawnButtons, BoxAndMarkGeometryInBothStates)
{
    struct Case
    {
        const char* name;
        bool on;
        bool filled;
        std::function<QWidget*(QWidget*)> make;
    };
    const Case cases[] = {
        {"check box, unticked", false, false,
         [](QWidget* p) { return new CCheckButton(QStringLiteral("Mute"), p); }},
        {"check box, ticked", true, false,
         [](QWidget* p) {
             auto* box = new CCheckButton(QStringLiteral("Mute"), p);
             box->Toggle();
             return box;
         }},
        {"option button, clear", false, true,
         [](QWidget* p) { return new CRadioButton(QStringLiteral("Keep selected Channel"), p); }},
        {"option button, selected", true, true,
         [](QWidget* p) {
             auto* button = new CRadioButton(QStringLiteral("Keep selected Channel"), p);
             button->Select();
             return button;
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto panel = MakePanel();
        QWidget* control = c.make(panel.get());
        control->setGeometry(20, 10, 180, 20);
        panel->show();
        const QImage image = GrabOnParent(*control);
        const QColor markColour = c.on ? kBlack : kGrey;
        for (int y = 0; y < 20; ++y) {
            for (int x = 0; x < 17; ++x) {
                const bool frame = (x == 0 || x == 11 || y == 0 || y == 11) && x < 12 && y < 12;
                const bool inMark = x >= 3 && x <= 8 && y >= 3 && y <= 8;
                const bool markEdge = inMark && (x == 3 || x == 8 || y == 3 || y == 8);
                QColor expected = kBackground;
                if (frame)
                    expected = kBlack;
                else if (inMark && (c.filled || markEdge))
                    expected = markColour;
                ASSERT_EQ(Pixel(image, x, y), expected) << "at " << x << "," << y;
            }
        }
        // The text starts 5 pixels right of the box, at the top.
        int firstTextColumn = -1;
        int firstTextRow = -1;
        for (int x = 17; x < image.width() && firstTextColumn < 0; ++x)
            for (int y = 0; y < image.height(); ++y)
                if (IsDark(Pixel(image, x, y))) {
                    firstTextColumn = x;
                    break;
                }
        for (int y = 0; y < image.height() && firstTextRow < 0; ++y)
            for (int x = 17; x < image.width(); ++x)
                if (IsDark(Pixel(image, x, y))) {
                    firstTextRow = y;
                    break;
                }
        EXPECT_GE(firstTextColumn, 17);
        EXPECT_LE(firstTextColumn, 19);
        EXPECT_GE(firstTextRow, 0);
        EXPECT_LE(firstTextRow,
                  control->fontMetrics().ascent() - control->fontMetrics().capHeight() + 1);
    }
}

TEST(OwnerDrawnButtons, CheckBoxTogglesOnEachClick)
{
    auto panel = MakePanel();
    auto* box = new CCheckButton(QStringLiteral("Non-stop"), panel.get());
    box->setGeometry(10, 10, 100, 16);
    panel->show();
    QSignalSpy toggled(box, &CCheckButton::Toggled);

    QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_EQ(box->IsChecked(), 1);
    QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(40, 5)); // on the text
    EXPECT_EQ(box->IsChecked(), 0);
    ASSERT_EQ(toggled.count(), 2);
    EXPECT_EQ(toggled[0][0].toInt(), 1);
    EXPECT_EQ(toggled[1][0].toInt(), 0);

    // Clear and SetChecked change the tick without reporting it.
    box->SetChecked(1);
    EXPECT_EQ(box->IsChecked(), 1);
    box->Clear();
    EXPECT_EQ(box->IsChecked(), 0);
    EXPECT_EQ(toggled.count(), 2);
}

TEST(OwnerDrawnButtons, OptionButtonsStayExclusiveWithinTheirGroup)
{
    auto panel = MakePanel(QSize(300, 200));
    CRadioButton* buttons[4];
    for (int i = 0; i < 4; ++i) {
        buttons[i] = new CRadioButton(QStringLiteral("Option %1").arg(i), panel.get());
        buttons[i]->setGeometry(10, 10 + 20 * i, 150, 14);
    }
    // Two groups: the start-up choice pair, and a pair of which only one is left.
    CRadioButton::SetGroup({buttons[0], buttons[1]});
    CRadioButton::SetGroup({buttons[2], buttons[3]});
    panel->show();
    buttons[2]->Select();

    const auto selection = [&] {
        QList<int> selected;
        for (CRadioButton* button : buttons)
            selected.append(button->IsSelected());
        return selected;
    };
    const struct
    {
        int click;
        QList<int> expected;
    } steps[] = {
        {0, {1, 0, 1, 0}}, {1, {0, 1, 1, 0}}, {1, {0, 1, 1, 0}},
        {0, {1, 0, 1, 0}}, {3, {1, 0, 0, 1}},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.click);
        QSignalSpy selected(buttons[step.click], &CRadioButton::Selected);
        QTest::mouseClick(buttons[step.click], Qt::LeftButton, {}, QPoint(4, 4));
        EXPECT_EQ(selection(), step.expected);
        EXPECT_EQ(selected.count(), 1);
    }

    // A button that goes away leaves its group working.
    delete buttons[2];
    buttons[3]->Deselect();
    EXPECT_EQ(buttons[3]->IsSelected(), 0);
    EXPECT_EQ(buttons[3]->Group(), QList<CRadioButton*>{buttons[3]});
    buttons[3]->Select();
    EXPECT_EQ(buttons[3]->IsSelected(), 1);
}

namespace {

// A caption exactly `width` pixels wide in `font`, or an empty text when none is found.
QByteArray CaptionOfWidth(const QFont& font, int width)
{
    const QFontMetrics metrics(font);
    for (const char fill : {'x', 'n', 'o', 'a', 'e', 'i', 'l', 't'}) {
        for (const char* lead : {"", "i", "l", "t", "r", "f", "W", "M"}) {
            QByteArray caption = lead;
            for (int n = 0; n < 40; ++n) {
                const int w = metrics.horizontalAdvance(QString::fromLatin1(caption));
                if (w == width)
                    return caption;
                if (w > width)
                    break;
                caption += fill;
            }
        }
    }
    return QByteArray();
}

} // namespace

TEST(GroupBox, TopLineLeavesAGapForTheCaption)
{
    auto panel = MakePanel(QSize(260, 120));
    const QByteArray fortyWide = CaptionOfWidth(panel->font(), 40);
    ASSERT_FALSE(fortyWide.isEmpty()) << "no 40-pixel caption in this font";

    const struct
    {
        QByteArray caption;
        int gapStart, gapEnd; // open columns, end excluded; equal for an unbroken line
    } cases[] = {
        {fortyWide, 5, 55},
        {QByteArray(), 0, 0},
        {"Channel Selection", 5,
         QFontMetrics(panel->font()).horizontalAdvance(QStringLiteral("Channel Selection")) + 15},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.caption.constData());
        auto* box = new CGroupBox(c.caption, panel.get());
        box->setGeometry(12, 8, 200, 90);
        box->show();
        panel->show();
        const QImage image = GrabOnParent(*box);
        const int line = QFontMetrics(box->font()).height() / 2;
        const int captionEnd = c.gapEnd - 5;
        for (int x = 0; x < 200; ++x) {
            if (x >= 10 && x < captionEnd)
                continue; // the caption's own glyphs cross the line's row
            const bool open = x >= c.gapStart && x < c.gapEnd;
            ASSERT_EQ(Pixel(image, x, line), open ? kBackground : kBlack) << "x " << x;
        }
        EXPECT_EQ(Pixel(image, 0, line - 1), kBackground);
        EXPECT_EQ(Pixel(image, 199, line - 1), kBackground);
        for (int y = line; y < 90; ++y) {
            ASSERT_EQ(Pixel(image, 0, y), kBlack) << "y " << y;
            ASSERT_EQ(Pixel(image, 199, y), kBlack) << "y " << y;
        }
        for (int x = 0; x < 200; ++x)
            ASSERT_EQ(Pixel(image, x, 89), kBlack) << "x " << x;
        EXPECT_EQ(Pixel(image, 100, 50), kBackground);
        // The caption sits in the gap, from left + 10.
        bool captionInk = false;
        for (int y = 0; y < 2 * line + 2 && !captionInk; ++y)
            for (int x = 10; x < captionEnd; ++x)
                captionInk = captionInk || IsDark(Pixel(image, x, y));
        EXPECT_EQ(captionInk, !c.caption.isEmpty());
        // Clicks go through to the window below.
        EXPECT_TRUE(box->testAttribute(Qt::WA_TransparentForMouseEvents));
        delete box;
    }
    EXPECT_EQ(CGroupBox::TopLineGap(QRect(0, 0, 200, 90), 40, 6), QRect(5, 6, 50, 1));
    EXPECT_TRUE(CGroupBox::TopLineGap(QRect(0, 0, 200, 90), 0, 6).isEmpty());
}

TEST(ColorStatic, LineFeedGivesTwoCentredLinesFromTheTop)
{
    auto panel = MakePanel(QSize(400, 80));
    auto* text = new CColorStatic(panel.get());
    text->SetText("We are unable to access Channel Information at this\n time");
    text->setGeometry(0, 10, 400, 50);
    panel->show();
    const QImage image = GrabOnParent(*text);
    const int lineHeight = text->fontMetrics().height();

    // Ink per line band: rows and the horizontal extent.
    struct Band
    {
        int left = 1 << 30, right = -1, top = 1 << 30, bottom = -1;
    };
    Band bands[3];
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (!IsDark(Pixel(image, x, y)))
                continue;
            Band& band = bands[std::min(y / lineHeight, 2)];
            band.left = std::min(band.left, x);
            band.right = std::max(band.right, x);
            band.top = std::min(band.top, y);
            band.bottom = std::max(band.bottom, y);
        }
    }
    const QFontMetrics metrics = text->fontMetrics();
    const QString lines[] = {QStringLiteral("We are unable to access Channel Information at this"),
                             QStringLiteral(" time")};
    for (int i = 0; i < 2; ++i) {
        SCOPED_TRACE(i);
        ASSERT_GE(bands[i].right, 0);
        // Centred: the line's advance box is centred; its ink lies inside that box.
        const int advance = metrics.horizontalAdvance(lines[i]);
        const int boxLeft = (400 - advance) / 2;
        EXPECT_GE(bands[i].left, boxLeft - 1);
        EXPECT_LE(bands[i].right, boxLeft + advance + 1);
        EXPECT_LE(bands[i].top, i * lineHeight + metrics.ascent());
    }
    EXPECT_LT(bands[0].top, lineHeight / 2); // starts at the top, not centred vertically
    EXPECT_EQ(bands[2].right, -1);           // nothing below the second line
    EXPECT_TRUE(text->testAttribute(Qt::WA_TransparentForMouseEvents));
}

TEST(ColorStatic, AnAmpersandMarksAMnemonicAndTwoDrawOne)
{
    auto panel = MakePanel(QSize(200, 30));
    auto* doubled = new CColorStatic(panel.get());
    doubled->SetText("Rock && Roll");
    doubled->setGeometry(0, 0, 200, 15);
    auto* single = new CColorStatic(panel.get());
    single->SetText("Rock & Roll");
    single->setGeometry(0, 15, 200, 15);
    panel->show();

    // The columns that hold ink, drawn on the panel's colour.
    const auto inkColumns = [](const QImage& image) {
        std::pair<int, int> extent{image.width(), -1};
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                if (IsDark(Pixel(image, x, y)))
                    extent = {std::min(extent.first, x), std::max(extent.second, x)};
        return extent;
    };
    // What the desktop draws for "Rock && Roll": "Rock & Roll", centred.
    QImage literal(200, 15, QImage::Format_RGB32);
    literal.fill(kBackground);
    {
        QPainter painter(&literal);
        painter.setFont(doubled->font());
        painter.setPen(Qt::black);
        painter.drawText(QRect(0, 0, 200, 15), Qt::AlignHCenter | Qt::AlignTop,
                         QStringLiteral("Rock & Roll"));
    }
    const auto expected = inkColumns(literal);
    const auto fromDoubled = inkColumns(GrabOnParent(*doubled));
    EXPECT_NEAR(fromDoubled.first, expected.first, 1);
    EXPECT_NEAR(fromDoubled.second, expected.second, 1);
    // A single "&" is no character: the line is narrower by it.
    const auto fromSingle = inkColumns(GrabOnParent(*single));
    EXPECT_GT(fromSingle.first, expected.first + 1);
    EXPECT_LT(fromSingle.second, expected.second - 1);
}

namespace {

// The volume slider as the radio window has it, on a skinned dialog's client area.
struct SliderOnDialog
{
    explicit SliderOnDialog(int skinColour)
    {
        skin.SetSkinColourFromPackage(QByteArray("package") + QByteArray::number(skinColour));
        dialog = std::make_unique<SkinnedDialog>(skin, DialogRect{0, 0, 230, 60});
        slider = new CCoolSlider(skin, dialog->Client());
        slider->setRange(0, 100);
        slider->setPageStep(10);
        slider->setValue(50);
        PlaceControl(slider, 1085, {18, 10, 94, 25}, 1.0);
        dialog->show();
    }

    QColor GradientAt(int clientColumn) const
    {
        return Skin::GradientColumnColour(clientColumn, dialog->Client()->width(),
                                          Skin::GradientStartColour(), skin.SkinColour());
    }

    QColor ThumbInner()
    {
        const QImage image = slider->grab().toImage();
        return Pixel(image, slider->ThumbRect().center().x(), slider->ThumbRect().center().y());
    }

    Skin skin;
    std::unique_ptr<SkinnedDialog> dialog;
    CCoolSlider* slider = nullptr;
};

} // namespace

TEST(CoolSlider, BackgroundContinuesTheParentsGradient)
{
    for (int colour : {0, 8}) {
        SCOPED_TRACE(colour);
        SliderOnDialog s(colour);
        const QImage client = s.dialog->Client()->grab().toImage();
        const int left = s.slider->x();
        const int right = s.slider->geometry().right();
        const int y = s.slider->y() + 1; // above the thumb and the channel
        for (int x : {left - 1, left, left + 1, right - 1, right, right + 1})
            EXPECT_EQ(Pixel(client, x, y), s.GradientAt(x)) << "column " << x;
        // The two sides differ, so matching them is no accident.
        EXPECT_NE(s.GradientAt(left), s.GradientAt(right));
    }
}

TEST(CoolSlider, ThumbTakesTheSkinColourWhilePressed)
{
    SliderOnDialog s(8);
    const QColor idle(240, 240, 240);
    EXPECT_EQ(s.ThumbInner(), idle);

    const QRect thumb = s.slider->ThumbRect();
    // The outer box: outlined black with open corners, RGB(240, 240, 240) between the outline
    // and the inner box; the inner box is framed black.
    const QImage image = s.slider->grab().toImage();
    EXPECT_EQ(Pixel(image, thumb.center().x(), thumb.top()), kBlack);
    EXPECT_EQ(Pixel(image, thumb.center().x(), thumb.top() + 1), idle);
    EXPECT_EQ(Pixel(image, thumb.center().x(), thumb.top() + 2), kBlack);
    EXPECT_EQ(Pixel(image, thumb.center().x(), thumb.bottom() - 2), kBlack);
    EXPECT_EQ(Pixel(image, thumb.center().x(), thumb.bottom()), kBlack);
    EXPECT_NE(Pixel(image, thumb.left(), thumb.top()), kBlack);

    QSignalSpy moved(s.slider, &QSlider::sliderMoved);
    QTest::mousePress(s.slider, Qt::LeftButton, {}, thumb.center());
    EXPECT_TRUE(s.slider->isSliderDown());
    EXPECT_EQ(s.ThumbInner(), QColor(255, 116, 79));
    QTest::mouseMove(s.slider, thumb.center() + QPoint(30, 0));
    EXPECT_GT(s.slider->value(), 50);
    EXPECT_FALSE(moved.isEmpty());
    EXPECT_EQ(s.ThumbInner(), QColor(255, 116, 79));
    QTest::mouseRelease(s.slider, Qt::LeftButton, {}, s.slider->ThumbRect().center());
    // Away from the thumb it is idle again, though the slider may keep the focus.
    QTest::mouseMove(s.dialog->Client(), QPoint(2, 2));
    QHoverEvent leave(QEvent::HoverLeave, QPointF(-1, -1), QPointF(-1, -1), QPointF(-1, -1));
    QApplication::sendEvent(s.slider, &leave);
    EXPECT_FALSE(s.slider->isSliderDown());
    EXPECT_EQ(s.ThumbInner(), idle);
}

TEST(CoolSlider, KeyboardAndWheelMoveItAsAQtSliderDoes)
{
    SliderOnDialog s(0);
    QApplication::setActiveWindow(s.dialog.get());
    ASSERT_TRUE(QTest::qWaitForWindowActive(s.dialog.get()));
    s.slider->setFocus(Qt::TabFocusReason);
    ASSERT_TRUE(s.slider->hasFocus());
    QTest::keyClick(s.slider, Qt::Key_Right);
    EXPECT_EQ(s.slider->value(), 51);
    QTest::keyClick(s.slider, Qt::Key_PageUp);
    EXPECT_EQ(s.slider->value(), 61);
    QTest::keyClick(s.slider, Qt::Key_End);
    EXPECT_EQ(s.slider->value(), 100);
    // Worked from the keyboard, the focused thumb shows the active colour.
    EXPECT_TRUE(s.slider->ThumbActive());
    EXPECT_EQ(s.ThumbInner(), s.slider->ActiveColour());

    const QPointF at = s.slider->rect().center();
    QWheelEvent down(at, s.slider->mapToGlobal(at), QPoint(), QPoint(0, -120), Qt::NoButton,
                     Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(s.slider, &down);
    EXPECT_LT(s.slider->value(), 100);
}

TEST(CoolSlider, EveryScrollIsReportedAlsoAtAnEndStop)
{
    SliderOnDialog s(0);
    QApplication::setActiveWindow(s.dialog.get());
    s.slider->setFocus(Qt::TabFocusReason);
    s.slider->setValue(100);
    QSignalSpy scrolled(s.slider, &CCoolSlider::Scrolled);
    QSignalSpy changed(s.slider, &QAbstractSlider::valueChanged);

    QTest::keyClick(s.slider, Qt::Key_Right);
    QTest::keyClick(s.slider, Qt::Key_End);
    const QPointF at = s.slider->rect().center();
    QWheelEvent up(at, s.slider->mapToGlobal(at), QPoint(), QPoint(0, 120), Qt::NoButton,
                   Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(s.slider, &up);
    const QPoint thumb = s.slider->ThumbRect().center();
    QTest::mousePress(s.slider, Qt::LeftButton, {}, thumb);
    QTest::mouseRelease(s.slider, Qt::LeftButton, {}, thumb);
    EXPECT_EQ(changed.count(), 0);
    ASSERT_EQ(scrolled.count(), 5);
    for (const QList<QVariant>& signal : scrolled)
        EXPECT_EQ(signal.at(0).toInt(), 100);

    // A key that is no scroll, and the right button, report nothing.
    QTest::keyClick(s.slider, Qt::Key_A);
    QTest::mouseClick(s.slider, Qt::RightButton, {}, thumb);
    EXPECT_EQ(scrolled.count(), 5);
}

TEST(CoolSlider, AttachToWindowKeepsItsPlaceOnTheClientArea)
{
    Skin skin;
    SkinnedDialog dialog(skin, {0, 0, 230, 60});
    auto* panel = new QWidget(dialog.Client());
    panel->setGeometry(20, 10, 200, 50);
    auto* slider = new CCoolSlider(skin, panel);
    slider->setGeometry(5, 7, 141, 40);
    dialog.show();
    const QPoint before = slider->mapToGlobal(QPoint(0, 0));

    slider->AttachToWindow(&dialog);
    EXPECT_EQ(slider->parentWidget(), dialog.Client());
    EXPECT_EQ(slider->pos(), QPoint(25, 17));
    EXPECT_EQ(slider->mapToGlobal(QPoint(0, 0)), before);
    EXPECT_TRUE(slider->isVisible());
}
