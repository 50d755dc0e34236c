#include "ui/AboutDialog.h"
#include "ui/BodyDrag.h"
#include "ui/CheckButton.h"
#include "ui/ColorStatic.h"
#include "ui/CoolSlider.h"
#include "ui/GroupBox.h"
#include "ui/MessageDialog.h"
#include "ui/RadioButton.h"
#include "ui/Skin.h"
#include "ui/SkinCursors.h"
#include "ui/SkinnedDialog.h"

#include <QApplication>
#include <QComboBox>
#include <QMouseEvent>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

TEST(SkinCursors, HandOverButtonsOfEveryKindAndOverTheSliderWhereTheRuleSaysSo)
{
    Skin skin;
    QWidget parent;
    QPushButton push(QStringLiteral("Hide"), &parent);
    CCheckButton check(QStringLiteral("Mute"), &parent);
    CRadioButton option(QStringLiteral("Keep selected Channel"), &parent);
    CCoolSlider slider(skin, &parent);
    CColorStatic label(&parent);
    CGroupBox frame("Controls", &parent);
    QComboBox combo(&parent);
    const struct
    {
        const char* name;
        const QWidget* control;
        bool buttonsAndSliders, buttonsOnly;
    } cases[] = {
        {"push button", &push, true, true},     {"check box", &check, true, true},
        {"option button", &option, true, true}, {"slider", &slider, true, false},
        {"label", &label, false, false},        {"group box", &frame, false, false},
        {"combo box", &combo, false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(TakesHandCursor(c.control, HandCursorRule::ButtonsAndSliders),
                  c.buttonsAndSliders);
        EXPECT_EQ(TakesHandCursor(c.control, HandCursorRule::ButtonsOnly), c.buttonsOnly);
    }
}

TEST(SkinCursors, DialogsApplyTheirRule)
{
    Skin skin;
    for (const HandCursorRule rule :
         {HandCursorRule::ButtonsAndSliders, HandCursorRule::ButtonsOnly}) {
        SkinnedDialog dialog(skin, {0, 0, 200, 60});
        auto* check = new CCheckButton(QStringLiteral("Mute"), dialog.Client());
        auto* slider = new CCoolSlider(skin, dialog.Client());
        ApplyHandCursors(&dialog, rule);
        // A control added later still gets the rule when the window is shown.
        auto* option = new CRadioButton(QStringLiteral("Keep"), dialog.Client());
        dialog.show();
        EXPECT_EQ(check->cursor().shape(), Qt::PointingHandCursor);
        EXPECT_EQ(option->cursor().shape(), Qt::PointingHandCursor);
        EXPECT_EQ(slider->testAttribute(Qt::WA_SetCursor),
                  rule == HandCursorRule::ButtonsAndSliders);
    }

    CMessage message(skin);
    auto* ok = FindControl(&message, CMessage::kIdOk);
    ASSERT_NE(ok, nullptr);
    EXPECT_EQ(ok->cursor().shape(), Qt::PointingHandCursor);

    CRadioAbout about(skin);
    EXPECT_EQ(about.cursor().shape(), Qt::OpenHandCursor);
    EXPECT_EQ(FindControl(&about, CRadioAbout::kIdClose)->cursor().shape(), Qt::PointingHandCursor);
}

namespace {

// A window dragged by its body: a label and a frame on the body, a push button and a check
// box as controls.
struct DraggedWindow
{
    explicit DraggedWindow(BodyDrag::Mode mode) : dialog(skin, {0, 0, 200, 100})
    {
        label = new CColorStatic(dialog.Client());
        label->SetText("Select country");
        label->setGeometry(10, 10, 100, 16);
        frame = new CGroupBox("Controls", dialog.Client());
        frame->setGeometry(5, 30, 290, 120);
        button = new QPushButton(QStringLiteral("Hide"), dialog.Client());
        button->setGeometry(40, 60, 100, 24);
        check = new CCheckButton(QStringLiteral("Mute"), dialog.Client());
        check->setGeometry(200, 60, 60, 16);
        drag = new BodyDrag(&dialog, mode);
        drag->SetUnpushedOnMove({button});
        dialog.move(100, 100);
        dialog.show();
    }

    Skin skin;
    SkinnedDialog dialog;
    CColorStatic* label;
    CGroupBox* frame;
    QPushButton* button;
    CCheckButton* check;
    BodyDrag* drag;
};

// A mouse move with no button held, as the window system delivers it to `widget`.
void HoverOver(QWidget* widget, QPoint pos)
{
    QMouseEvent move(QEvent::MouseMove, pos, widget->mapToGlobal(pos), Qt::NoButton, Qt::NoButton,
                     Qt::NoModifier);
    QApplication::sendEvent(widget, &move);
}

} // namespace

TEST(BodyDrag, PressOnTheBodyGrabsAndMovesTheWindow)
{
    DraggedWindow w(BodyDrag::Mode::MoveWindow);
    EXPECT_EQ(w.dialog.cursor().shape(), Qt::OpenHandCursor);
    QWidget* client = w.dialog.Client();

    // On the label, which lets the mouse through: the body.
    const QPoint onLabel(20, 15);
    EXPECT_TRUE(w.drag->IsBody(client->mapTo(&w.dialog, onLabel)));
    QTest::mousePress(client, Qt::LeftButton, {}, onLabel);
    EXPECT_EQ(w.dialog.cursor().shape(), Qt::ClosedHandCursor);
    // Without a window system move (offscreen) the window follows the mouse.
    QTest::mouseMove(client, onLabel + QPoint(30, 20));
    EXPECT_EQ(w.dialog.pos(), QPoint(130, 120));
    QTest::mouseRelease(client, Qt::LeftButton, {}, onLabel);
    EXPECT_EQ(w.dialog.cursor().shape(), Qt::OpenHandCursor);
}

TEST(BodyDrag, ClicksOnControlsNeverStartADrag)
{
    DraggedWindow w(BodyDrag::Mode::MoveWindow);
    bool clicked = false;
    QObject::connect(w.button, &QPushButton::clicked, [&] { clicked = true; });
    EXPECT_FALSE(w.drag->IsBody(w.button->geometry().center() + w.dialog.Client()->pos()));

    QTest::mousePress(w.button, Qt::LeftButton, {}, QPoint(10, 10));
    EXPECT_EQ(w.dialog.cursor().shape(), Qt::OpenHandCursor);
    QTest::mouseMove(w.button, QPoint(12, 12));
    QTest::mouseRelease(w.button, Qt::LeftButton, {}, QPoint(12, 12));
    EXPECT_TRUE(clicked);

    QTest::mouseClick(w.check, Qt::LeftButton, {}, QPoint(4, 4));
    EXPECT_EQ(w.check->IsChecked(), 1);
    EXPECT_EQ(w.dialog.pos(), QPoint(100, 100));
    EXPECT_EQ(w.dialog.cursor().shape(), Qt::OpenHandCursor);
}

TEST(BodyDrag, MouseMoveOverTheBodyLiftsTheListedButtons)
{
    for (const BodyDrag::Mode mode : {BodyDrag::Mode::MoveWindow, BodyDrag::Mode::CursorOnly}) {
        DraggedWindow w(mode);
        w.button->setDown(true);
        HoverOver(w.dialog.Client(), QPoint(150, 20));
        EXPECT_FALSE(w.button->isDown());
        // Over a label the mouse is still on the body.
        w.button->setDown(true);
        HoverOver(w.dialog.Client(), w.label->geometry().center());
        EXPECT_FALSE(w.button->isDown());
    }
}

TEST(BodyDrag, AboutDialogIsNotMoved)
{
    DraggedWindow w(BodyDrag::Mode::CursorOnly);
    QTest::mousePress(w.dialog.Client(), Qt::LeftButton, {}, QPoint(150, 20));
    EXPECT_EQ(w.dialog.cursor().shape(), Qt::OpenHandCursor);
    QTest::mouseMove(w.dialog.Client(), QPoint(180, 40));
    QTest::mouseRelease(w.dialog.Client(), Qt::LeftButton, {}, QPoint(180, 40));
    EXPECT_EQ(w.dialog.pos(), QPoint(100, 100));
    EXPECT_EQ(w.dialog.cursor().shape(), Qt::OpenHandCursor);
}
