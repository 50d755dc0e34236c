#include "ui/AboutDialog.h"
#include "ui/AccessibleControls.h"
#include "ui/CheckButton.h"
#include "ui/ColorStatic.h"
#include "ui/CoolSlider.h"
#include "ui/FocusMark.h"
#include "ui/GroupBox.h"
#include "ui/KeyFilter.h"
#include "ui/MessageDialog.h"
#include "ui/RadioButton.h"
#include "ui/Skin.h"
#include "ui/SkinnedDialog.h"

#include <QAccessible>
#include <QAccessibleActionInterface>
#include <QApplication>
#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTreeWidget>
#include <gtest/gtest.h>
#include <memory>
#include <vector>

namespace {

QAccessibleInterface* Accessible(QWidget* widget)
{
    return QAccessible::queryAccessibleInterface(widget);
}

// A skinned window with one control of every kind, placed so that the order they are made in
// is not the order they are read in.
struct Panel
{
    Skin skin;
    SkinnedDialog dialog{skin, {0, 0, 230, 120}};
    QPushButton* hide = nullptr;
    CCheckButton* mute = nullptr;
    CCoolSlider* volume = nullptr;
    CRadioButton* random = nullptr;
    CRadioButton* keep = nullptr;
    QComboBox* countries = nullptr;
    QTreeWidget* tree = nullptr;
    CGroupBox* frame = nullptr;
    CColorStatic* label = nullptr;

    Panel()
    {
        QWidget* client = dialog.Client();
        hide = new QPushButton(QStringLiteral("Hide"), client);
        hide->setGeometry(60, 160, 200, 24);
        hide->setAutoDefault(false);
        mute = new CCheckButton(QStringLiteral("Mute"), client);
        mute->setGeometry(220, 120, 60, 16);
        volume = new CCoolSlider(skin, client);
        volume->setGeometry(20, 112, 140, 40);
        volume->setRange(0, 100);
        volume->setPageStep(10);
        volume->setValue(50);
        volume->setAccessibleName(QStringLiteral("Volume"));
        keep = new CRadioButton(QStringLiteral("&Keep selected Channel"), client);
        keep->setGeometry(100, 92, 200, 16);
        random = new CRadioButton(QStringLiteral("Random Selection every start"), client);
        random->setGeometry(100, 74, 200, 16);
        CRadioButton::SetGroup({random, keep});
        random->Select();
        tree = new QTreeWidget(client);
        tree->setGeometry(20, 40, 100, 30);
        countries = new QComboBox(client);
        countries->setGeometry(140, 10, 150, 22);
        countries->addItems({QStringLiteral("France"), QStringLiteral("Germany")});
        frame = new CGroupBox("Controls", client);
        frame->setGeometry(5, 100, 300, 56);
        label = new CColorStatic(client);
        label->SetText("Select &country");
        label->setGeometry(10, 12, 100, 16);
    }

    void ShowActive()
    {
        dialog.show();
        QApplication::setActiveWindow(&dialog);
        ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog));
    }
};

QString Name(QWidget* widget)
{
    return Accessible(widget)->text(QAccessible::Name);
}

} // namespace

TEST(AccessibleControls, RolesNamesAndStates)
{
    Panel panel;
    panel.ShowActive();
    const struct
    {
        const char* what;
        QWidget* control;
        QAccessible::Role role;
        QString name;
        bool focusable, checkable, checked;
    } cases[] = {
        {"push button", panel.hide, QAccessible::Button, QStringLiteral("Hide"), true, false,
         false},
        {"check box", panel.mute, QAccessible::CheckBox, QStringLiteral("Mute"), true, true, false},
        {"selected option", panel.random, QAccessible::RadioButton,
         QStringLiteral("Random Selection every start"), true, true, true},
        // The mnemonic mark is not read out.
        {"other option", panel.keep, QAccessible::RadioButton,
         QStringLiteral("Keep selected Channel"), true, true, false},
        {"slider", panel.volume, QAccessible::Slider, QStringLiteral("Volume"), true, false, false},
        {"group frame", panel.frame, QAccessible::Grouping, QStringLiteral("Controls"), false,
         false, false},
        {"text line", panel.label, QAccessible::StaticText, QStringLiteral("Select country"), false,
         false, false},
        {"window", &panel.dialog, QAccessible::Dialog, QStringLiteral("Wavelark"), false, false,
         false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        QAccessibleInterface* iface = Accessible(c.control);
        ASSERT_NE(iface, nullptr);
        EXPECT_EQ(iface->role(), c.role);
        EXPECT_EQ(iface->text(QAccessible::Name), c.name);
        const QAccessible::State state = iface->state();
        EXPECT_EQ(bool(state.focusable), c.focusable);
        EXPECT_EQ(bool(state.checkable), c.checkable);
        EXPECT_EQ(bool(state.checked), c.checked);
        EXPECT_FALSE(state.disabled);
    }

    QAccessibleValueInterface* value = Accessible(panel.volume)->valueInterface();
    ASSERT_NE(value, nullptr);
    EXPECT_EQ(value->currentValue().toInt(), 50);
    EXPECT_EQ(value->minimumValue().toInt(), 0);
    EXPECT_EQ(value->maximumValue().toInt(), 100);

    // The focus mark is no control: a screen reader walking the window never meets it.
    QAccessibleInterface* client = Accessible(panel.dialog.Client());
    for (int i = 0; i < client->childCount(); ++i)
        EXPECT_NE(client->child(i)->object()->objectName(), QStringLiteral("FocusMark"));

    // A focused control says so.
    panel.mute->setFocus(Qt::TabFocusReason);
    EXPECT_TRUE(Accessible(panel.mute)->state().focused);
    EXPECT_FALSE(Accessible(panel.hide)->state().focused);
}

TEST(AccessibleControls, TheAboutAndMessageWindowsAreReadable)
{
    Skin skin;
    CRadioAbout about(skin, "3.0");
    const auto* logo = about.findChild<QLabel*>();
    ASSERT_NE(logo, nullptr);
    QAccessibleInterface* picture = Accessible(const_cast<QLabel*>(logo));
    EXPECT_EQ(picture->role(), QAccessible::Graphic);
    EXPECT_EQ(picture->text(QAccessible::Name), QStringLiteral("Wavelark"));
    QStringList texts;
    for (CColorStatic* line : about.findChildren<CColorStatic*>())
        texts << Name(line);
    EXPECT_TRUE(texts.contains(QStringLiteral("Version 3.0"))) << texts.join(u'|').toStdString();
    auto* close = qobject_cast<QPushButton*>(FindControl(&about, CRadioAbout::kIdClose));
    ASSERT_NE(close, nullptr);
    EXPECT_EQ(Accessible(close)->role(), QAccessible::Button);
    EXPECT_EQ(Name(close), QStringLiteral("Close"));

    CMessage message(skin);
    message.m_strText = "We are unable to access Channel Information at this time";
    message.OnInitDialog();
    auto* text = qobject_cast<CColorStatic*>(FindControl(&message, CMessage::kIdText));
    ASSERT_NE(text, nullptr);
    // The line is broken for the eye, not for the ear.
    EXPECT_EQ(Name(text),
              QStringLiteral("We are unable to access Channel Information at this time"));
    EXPECT_EQ(Name(FindControl(&message, CMessage::kIdOk)), QStringLiteral("OK"));
    EXPECT_EQ(Name(&message), QStringLiteral("Wavelark"));
}

TEST(AccessibleControls, ActionsWorkAsTheUsersOwnHands)
{
    Panel panel;
    panel.ShowActive();

    QSignalSpy toggled(panel.mute, &CCheckButton::Toggled);
    QAccessibleActionInterface* box = Accessible(panel.mute)->actionInterface();
    ASSERT_NE(box, nullptr);
    ASSERT_TRUE(box->actionNames().contains(QAccessibleActionInterface::toggleAction()));
    box->doAction(QAccessibleActionInterface::toggleAction());
    EXPECT_EQ(panel.mute->IsChecked(), 1);
    ASSERT_EQ(toggled.count(), 1);
    EXPECT_EQ(toggled[0][0].toInt(), 1);

    QSignalSpy selected(panel.keep, &CRadioButton::Selected);
    QAccessibleActionInterface* option = Accessible(panel.keep)->actionInterface();
    ASSERT_NE(option, nullptr);
    option->doAction(QAccessibleActionInterface::toggleAction());
    EXPECT_EQ(selected.count(), 1);
    EXPECT_EQ(panel.keep->IsSelected(), 1);
    EXPECT_EQ(panel.random->IsSelected(), 0);
    EXPECT_TRUE(Accessible(panel.keep)->state().checked);
    EXPECT_FALSE(Accessible(panel.random)->state().checked);

    QSignalSpy moved(panel.volume, &QAbstractSlider::valueChanged);
    Accessible(panel.volume)->valueInterface()->setCurrentValue(23);
    EXPECT_EQ(panel.volume->value(), 23);
    ASSERT_EQ(moved.count(), 1);

    QSignalSpy clicked(panel.hide, &QPushButton::clicked);
    Accessible(panel.hide)->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    EXPECT_TRUE(clicked.count() == 1 || clicked.wait(5000));

    // A disabled control offers nothing to do.
    panel.keep->setEnabled(false);
    EXPECT_FALSE(Accessible(panel.keep)
                     ->actionInterface()
                     ->actionNames()
                     .contains(QAccessibleActionInterface::toggleAction()));
}

TEST(AccessibleControls, SpokenTextDropsMnemonicMarksAndLineBreaks)
{
    const struct
    {
        const char* text;
        const char* spoken;
    } cases[] = {
        {"&Hide", "Hide"},
        {"Rock && Roll", "Rock & Roll"},
        {"Two\n lines", "Two lines"},
        {"trailing &", "trailing"},
        {"&&&x", "&x"},
        {"", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(SpokenText(QString::fromUtf8(c.text)), QString::fromUtf8(c.spoken)) << c.text;
}

TEST(KeyboardUse, TabAndShiftTabGoThroughTheControlsInReadingOrder)
{
    KeyFilter filter;
    qApp->installEventFilter(&filter);
    Panel panel;
    panel.ShowActive();
    const std::vector<QWidget*> reading = {panel.countries, panel.tree, panel.random, panel.keep,
                                           panel.volume,    panel.mute, panel.hide};
    // The window opens with its first control focused.
    EXPECT_EQ(QApplication::focusWidget(), reading.front());
    for (size_t i = 1; i <= reading.size(); ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        EXPECT_EQ(QApplication::focusWidget(), reading[i % reading.size()]) << "Tab " << i;
    }
    for (size_t i = reading.size(); i-- > 0;) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab, Qt::ShiftModifier);
        EXPECT_EQ(QApplication::focusWidget(), reading[i]) << "Shift+Tab to " << i;
    }
    qApp->removeEventFilter(&filter);
}

TEST(KeyboardUse, SpaceAndArrowsWorkTheFocusedControl)
{
    KeyFilter filter;
    qApp->installEventFilter(&filter);
    Panel panel;
    panel.ShowActive();

    QSignalSpy toggled(panel.mute, &CCheckButton::Toggled);
    panel.mute->setFocus(Qt::TabFocusReason);
    QTest::keyClick(panel.mute, Qt::Key_Space);
    EXPECT_EQ(panel.mute->IsChecked(), 1);
    QTest::keyClick(panel.mute, Qt::Key_Space);
    EXPECT_EQ(panel.mute->IsChecked(), 0);
    EXPECT_EQ(toggled.count(), 2);

    panel.keep->setFocus(Qt::TabFocusReason);
    QTest::keyClick(panel.keep, Qt::Key_Space);
    EXPECT_EQ(panel.keep->IsSelected(), 1);
    EXPECT_EQ(panel.random->IsSelected(), 0);

    QSignalSpy clicked(panel.hide, &QPushButton::clicked);
    panel.hide->setFocus(Qt::TabFocusReason);
    QTest::keyClick(panel.hide, Qt::Key_Space);
    EXPECT_EQ(clicked.count(), 1);

    panel.volume->setFocus(Qt::TabFocusReason);
    const struct
    {
        Qt::Key key;
        int value;
    } slides[] = {
        {Qt::Key_Right, 51},    {Qt::Key_Left, 50}, {Qt::Key_PageUp, 60},
        {Qt::Key_PageDown, 50}, {Qt::Key_End, 100}, {Qt::Key_Home, 0},
    };
    for (const auto& s : slides) {
        QTest::keyClick(panel.volume, s.key);
        EXPECT_EQ(panel.volume->value(), s.value) << int(s.key);
    }
    qApp->removeEventFilter(&filter);
}

TEST(KeyboardUse, TheKeyFilterLetsOnlyTabThrough)
{
    KeyFilter keyFilter;
    QObject& filter = keyFilter; // its filter is called as the application calls it
    Skin skin;
    SkinnedDialog dialog(skin, {0, 0, 100, 40});
    QWidget plain;
    const struct
    {
        Qt::Key key;
        bool swallowedInDialog;
    } cases[] = {
        {Qt::Key_Escape, true}, {Qt::Key_Alt, true},      {Qt::Key_AltGr, true},
        {Qt::Key_Tab, false},   {Qt::Key_Backtab, false}, {Qt::Key_Return, false},
        {Qt::Key_Space, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(int(c.key));
        QKeyEvent press(QEvent::KeyPress, c.key, Qt::NoModifier);
        EXPECT_EQ(filter.eventFilter(dialog.Client(), &press), c.swallowedInDialog);
        // Outside the program's dialogs every key passes.
        EXPECT_FALSE(filter.eventFilter(&plain, &press));
    }
}

TEST(KeyboardUse, TheFocusMarkShowsOnceTheKeyboardIsUsed)
{
    Panel panel;
    panel.ShowActive();
    const FocusMark* mark = panel.dialog.Mark();
    ASSERT_NE(mark, nullptr);

    // Focus alone (the window opening, a click) shows no mark.
    QTest::mouseClick(panel.hide, Qt::LeftButton);
    EXPECT_FALSE(mark->Shown());

    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    ASSERT_TRUE(mark->Shown());
    QWidget* focused = QApplication::focusWidget();
    EXPECT_EQ(mark->Target(), focused);
    EXPECT_EQ(mark->geometry(), focused->geometry());

    // Dots alternate along the mark's edges, in the texts' colour, over the skin.
    const auto dotsOn = [&](QWidget* control) {
        const QImage image = panel.dialog.Client()->grab(control->geometry()).toImage();
        // The bottom edge: the top one may run along an option box's own black frame.
        const QRect edge = FocusMark::MarkRect(control);
        int dots = 0, gaps = 0;
        for (int x = edge.left(); x <= edge.right(); ++x) {
            const QColor pixel(image.pixel(x, edge.bottom()));
            if ((x + edge.bottom()) % 2 == 0)
                dots += pixel == FocusMark::Colour();
            else
                gaps += pixel != FocusMark::Colour();
        }
        return std::pair{dots, gaps};
    };
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    for (QWidget* control : std::vector<QWidget*>{panel.countries, panel.tree, panel.random}) {
        SCOPED_TRACE(control->metaObject()->className());
        while (QApplication::focusWidget() != control)
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        const auto [dots, gaps] = dotsOn(control);
        const int half = (FocusMark::MarkRect(control).width() + 1) / 2;
        EXPECT_GE(dots, half - 1);
        EXPECT_GE(gaps, half - 2);
    }

    // A mouse press puts the window back as a mouse user knows it.
    QTest::mouseClick(panel.mute, Qt::LeftButton);
    EXPECT_FALSE(mark->Shown());
    QTest::keyClick(panel.mute, Qt::Key_Space);
    EXPECT_TRUE(mark->Shown());
    EXPECT_EQ(mark->Target(), panel.mute);
    // A control that goes hands the focus on, and the mark goes with it.
    panel.mute->hide();
    EXPECT_NE(mark->Target(), panel.mute);
    EXPECT_EQ(mark->Target(), QApplication::focusWidget());
    EXPECT_EQ(mark->Shown(), mark->Target() != nullptr);
}
