#include "directory/ChannelDirectory.h"
#include "directory/ContentServer.h"
#include "radio/RadioPlayback.h"
#include "radio/Station.h"
#include "radio/StationIds.h"
#include "ui/AboutDialog.h"
#include "ui/ColorStatic.h"
#include "ui/DialogUnits.h"
#include "ui/KeyFilter.h"
#include "ui/MessageDialog.h"
#include "ui/MessageText.h"
#include "ui/Skin.h"

#include <QAbstractButton>
#include <QApplication>
#include <QGuiApplication>
#include <QImage>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

TEST(MessageText, BreaksOnceAtTheFirstSpaceFromIndexFifty)
{
    const struct
    {
        QByteArray text, expected;
    } cases[] = {
        {QByteArray(50, 'x'), QByteArray(50, 'x')},
        {"We are unable to access Channel Information at this time",
         "We are unable to access Channel Information at this\n time"},
        {QByteArray(60, 'x'), QByteArray(60, 'x')}, // no space to break at
        {QByteArray(49, 'a') + " b" + QByteArray(10, 'c'),
         QByteArray(49, 'a') + " b" + QByteArray(10, 'c')},
        {QByteArray(50, 'a') + " b c", QByteArray(50, 'a') + "\n b c"},
        {"", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text.constData());
        EXPECT_EQ(BreakMessageLine(c.text), c.expected);
    }
}

TEST(Skin, ColourFollowsThePackageFoldersLastDigit)
{
    const struct
    {
        const char* address;
        int index;
    } cases[] = {
        {"http://h/Wavelark/freechannels/package0/", 0},
        {"http://h/x/package5/", 5},
        {"http://h/x/package9", 3},
        {"http://h/x/package3/", 3},
        {"http://h/x/packagex", 0},
        {"http://h/x/package8", 8},
        {"", 0},
        {"/", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.address);
        Skin skin;
        skin.SetSkinColourFromPackage(c.address);
        EXPECT_EQ(skin.SkinColourIndex(), c.index);
    }
}

TEST(Skin, GradientRunsFromLightGreyTowardTheSkinColour)
{
    Skin skin; // colour 0: RGB(182, 189, 190)
    const auto paint = [&](int width) {
        QImage image(width, 3, QImage::Format_RGB32);
        QPainter painter(&image);
        skin.FillSkinGradient(painter, image.rect());
        return image;
    };
    const QImage one = paint(1);
    EXPECT_EQ(QColor(one.pixel(0, 1)), QColor(240, 240, 240));

    // Two columns: the right one is B + (A - B) / 2, truncated toward zero.
    const QImage two = paint(2);
    EXPECT_EQ(QColor(two.pixel(0, 0)), QColor(240, 240, 240));
    EXPECT_EQ(QColor(two.pixel(1, 2)), QColor(211, 214, 215));

    const QImage wide = paint(300);
    EXPECT_EQ(QColor(wide.pixel(0, 0)), QColor(240, 240, 240));
    EXPECT_EQ(QColor(wide.pixel(299, 0)), QColor(182 + 58 / 300, 189 + 51 / 300, 190 + 50 / 300));
    for (int x = 1; x < 300; ++x)
        ASSERT_LE(qRed(wide.pixel(x, 0)), qRed(wide.pixel(x - 1, 0)));
}

namespace {

constexpr int kStillOpen = 2;

// Presses `key` on the shown dialog and returns the result it closed with: kStillOpen when the
// key left it open (the test closes it 50 ms later).
int ResultOfKey(QDialog& dialog, Qt::Key key)
{
    QTimer::singleShot(0, &dialog, [&] {
        QWidget* target = QApplication::focusWidget() ? QApplication::focusWidget() : &dialog;
        // The keypad's Enter key arrives with the keypad modifier, as from a real keyboard.
        QTest::keyClick(target, key, key == Qt::Key_Enter ? Qt::KeypadModifier : Qt::NoModifier);
        QTimer::singleShot(50, &dialog, [&] { dialog.done(kStillOpen); });
    });
    return dialog.exec();
}

} // namespace

TEST(DialogUnits, RoundToTheNearestPixelAsTheDesktopDoes)
{
    const struct
    {
        int number, numerator, denominator, result;
    } cases[] = {
        {1, 6, 4, 2},    {3, 13, 8, 5}, {2, 6, 4, 3},           {5, 13, 8, 8},
        {4, 13, 8, 7},   {0, 6, 4, 0},  {-1, 6, 4, -2},         {1, -6, 4, -2},
        {-3, 13, -8, 5}, {7, 1, 0, -1}, {2000000000, 6, 4, -1}, {2000000000, 3, 4, 1500000000},
    };
    for (const auto& c : cases)
        EXPECT_EQ(MulDiv(c.number, c.numerator, c.denominator), c.result)
            << c.number << " * " << c.numerator << " / " << c.denominator;

    // An odd place: x 1 is 1.5 pixels and y 3 is 4.875, which round up, not down.
    EXPECT_EQ(DialogUnitsToPixels({1, 3, 5, 5}), QRect(2, 5, 8, 8));
}

TEST(DialogUnits, ConvertPlaceAndSizeEachOnItsOwn)
{
    // Right and bottom edges converted and then subtracted round twice: the country list would
    // be 169 pixels wide and the message text 532.
    const struct
    {
        const char* control;
        DialogRect rect;
        QRect pixels;
    } cases[] = {
        {"country list 1042", {95, 23, 113, 91}, QRect(143, 37, 170, 148)},
        {"message text 1114", {1, 20, 355, 29}, QRect(2, 33, 533, 47)},
        {"OK button", {157, 51, 50, 14}, QRect(236, 83, 75, 23)},
        {"radio window", {0, 0, 230, 434}, QRect(0, 0, 345, 705)},
    };
    for (const auto& c : cases)
        EXPECT_EQ(DialogUnitsToPixels(c.rect), c.pixels) << c.control;
}

TEST(MessageDialog, EnterPressesOkEscapeAndTabDoNothing)
{
    KeyFilter filter;
    qApp->installEventFilter(&filter);
    Skin skin;
    for (const auto& [key, result] :
         {std::pair{Qt::Key_Return, int(QDialog::Accepted)}, std::pair{Qt::Key_Escape, kStillOpen},
          std::pair{Qt::Key_Tab, kStillOpen}, std::pair{Qt::Key_Enter, int(QDialog::Accepted)}}) {
        SCOPED_TRACE(key);
        CMessage dialog(skin);
        dialog.m_strText = "Wavelark is already running";
        dialog.OnInitDialog();
        EXPECT_EQ(ResultOfKey(dialog, key), result);
    }
    qApp->removeEventFilter(&filter);
}

TEST(MessageDialog, HasOneOkButtonTheBrokenTextAndTheTemplateGeometry)
{
    Skin skin;
    CMessage dialog(skin);
    dialog.m_strText = "We are unable to access Channel Information at this time";
    dialog.OnInitDialog();

    EXPECT_TRUE(dialog.windowFlags() & Qt::FramelessWindowHint);
    // The template is the client area; the thin border lies around it.
    // 357 x 70 dialog units: 535.5 x 113.75 pixels, rounded.
    EXPECT_EQ(dialog.Client()->size(), QSize(536, 114));
    EXPECT_EQ(dialog.size(), dialog.Client()->size() + QSize(2, 2));
    EXPECT_EQ(dialog.findChildren<QPushButton*>().size(), 1);
    auto* ok = qobject_cast<QPushButton*>(FindControl(&dialog, CMessage::kIdOk));
    ASSERT_NE(ok, nullptr);
    EXPECT_EQ(ok->text(), QStringLiteral("OK"));
    // 157, 51, 50, 14: left 235.5 -> 236, top 82.875 -> 83, right 310.5 -> 311, bottom
    // 105.625 -> 106.
    EXPECT_EQ(ok->geometry(), QRect(236, 83, 75, 23));
    auto* text = qobject_cast<CColorStatic*>(FindControl(&dialog, CMessage::kIdText));
    ASSERT_NE(text, nullptr);
    // 1, 20, 355, 29: 532.5 pixels wide, rounded as a template loader rounds it.
    EXPECT_EQ(text->geometry(), QRect(2, 33, 533, 47));
    EXPECT_EQ(text->Text(),
              QByteArray("We are unable to access Channel Information at this\n time"));

    // The whole client area is the skin gradient: exactly light grey in its leftmost column,
    // B + (A - B) / w in its rightmost.
    dialog.show();
    const QImage image = dialog.grab().toImage();
    const int w = dialog.Client()->width();
    const int y = image.height() / 3;
    EXPECT_EQ(QColor(image.pixel(1, y)), QColor(240, 240, 240));
    EXPECT_EQ(QColor(image.pixel(w, y)), QColor(182 + 58 / w, 189 + 51 / w, 190 + 50 / w));
    EXPECT_EQ(QColor(image.pixel(0, y)), QColor(100, 100, 100)); // the border
    bool clicked = false;
    QObject::connect(ok, &QPushButton::clicked, [&] { clicked = true; });
    QTest::mouseClick(ok, Qt::LeftButton);
    EXPECT_TRUE(clicked);
    EXPECT_FALSE(dialog.isVisible());
}

TEST(AboutDialog, ShowsTitleLogoAndCloses)
{
    Skin skin;
    CRadioAbout about(skin, "3.0");
    auto* title = qobject_cast<CColorStatic*>(FindControl(&about, CRadioAbout::kIdTitle));
    ASSERT_NE(title, nullptr);
    EXPECT_EQ(title->Text(), QByteArray("Wavelark Plus"));
    for (int id : {CRadioAbout::kIdLine1, CRadioAbout::kIdLine2})
        EXPECT_NE(FindControl(&about, id), nullptr) << id;
    auto* version = qobject_cast<CColorStatic*>(FindControl(&about, CRadioAbout::kIdLine3));
    ASSERT_NE(version, nullptr);
    EXPECT_EQ(version->Text(), QByteArray("Version 3.0"));
    const auto labels = about.findChildren<QLabel*>();
    ASSERT_EQ(labels.size(), 1);
    EXPECT_FALSE(labels[0]->pixmap().isNull());
    auto* close = qobject_cast<QPushButton*>(FindControl(&about, CRadioAbout::kIdClose));
    ASSERT_NE(close, nullptr);
    // Not centred: nothing moves it, so the window manager places it.
    const QPoint unplaced = about.pos();
    about.show();
    EXPECT_EQ(about.pos(), unplaced);
    QTest::mouseClick(close, Qt::LeftButton);
    EXPECT_FALSE(about.isVisible());
}

namespace {

// Whether `text` (lines split at line feeds) fits a box of `size` in `metrics`.
bool Fits(const QFontMetrics& metrics, const QString& text, QSize size, int padding)
{
    const QStringList lines = text.split(QLatin1Char('\n'));
    int widest = 0;
    for (const QString& line : lines)
        widest = std::max(widest, metrics.horizontalAdvance(line));
    return widest + padding <= size.width() &&
           int(lines.size()) * metrics.height() <= size.height();
}

} // namespace

// Also run with QT_FONT_DPI=144, with and without Qt's own high-DPI scaling (see
// tests/CMakeLists.txt): geometry follows the screen's logical DPI and no text is clipped.
TEST(DialogScale, FollowsThePrimaryScreenAndKeepsTextsInside)
{
    const qreal scale = QGuiApplication::primaryScreen()->logicalDotsPerInch() / 96.0;
    EXPECT_DOUBLE_EQ(DpiScale(nullptr), scale);
    Skin skin;

    CMessage message(skin);
    message.m_strText = "We are unable to access Channel Information at this time";
    message.OnInitDialog();
    EXPECT_EQ(message.Client()->size(), DialogUnitsToPixels({0, 0, 357, 70}, scale).size());
    CRadioAbout about(skin, "3.0");
    EXPECT_EQ(about.Client()->size(), DialogUnitsToPixels({0, 0, 230, 171}, scale).size());

    for (QDialog* dialog : {static_cast<QDialog*>(&message), static_cast<QDialog*>(&about)}) {
        for (const QPushButton* button : dialog->findChildren<QPushButton*>()) {
            SCOPED_TRACE(button->text().toStdString());
            EXPECT_TRUE(Fits(button->fontMetrics(), button->text(), button->size(), 8));
        }
        for (const CColorStatic* text : dialog->findChildren<CColorStatic*>()) {
            SCOPED_TRACE(text->Text().constData());
            EXPECT_TRUE(
                Fits(text->fontMetrics(), QString::fromLatin1(text->Text()), text->size(), 0));
        }
    }

    // The radio window's texts in the controls the real window makes, at the sizes it gives
    // them.
    ChannelDirectory directory;
    const ContentServer server(QByteArray("http://127.0.0.1:9/"), "3.0");
    RadioPlayback playback(directory, server, {});
    const StationContext context{directory, skin, server, playback, QSize(1280, 1024), 3.0f, "3.0"};
    CStation window(context);
    const struct
    {
        int id;
        int padding; // the box and its gap before the text
    } controls[] = {
        {kIdTitle, 0},       {kIdCountryLabel, 0},      {kIdChannelLabel, 0},
        {kIdVolumeLabel, 0}, {kIdRandomEveryStart, 17}, {kIdKeepSelected, 17},
        {kIdMuteBox, 17},    {kIdDownload, 8},
    };
    for (const auto& c : controls) {
        SCOPED_TRACE(c.id);
        const QWidget* control = FindControl(&window, c.id);
        ASSERT_NE(control, nullptr);
        QString text;
        if (const auto* button = qobject_cast<const QAbstractButton*>(control))
            text = button->text();
        else if (const auto* label = qobject_cast<const CColorStatic*>(control))
            text = QString::fromLatin1(label->Text());
        EXPECT_FALSE(text.isEmpty());
        EXPECT_TRUE(Fits(control->fontMetrics(), text, control->size(), c.padding))
            << text.toStdString();
    }
}
