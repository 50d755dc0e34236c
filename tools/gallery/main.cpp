// Renders every skinned control and the two small dialogs into PNG files, for people to look
// at: wavelark-gallery [folder]. Without a folder the files go to gallery/<dpi>dpi/ beside the
// program. Runs offscreen unless QT_QPA_PLATFORM says otherwise; QT_FONT_DPI=144 shows the
// look on a denser screen.
#include "ui/AboutDialog.h"
#include "ui/CheckButton.h"
#include "ui/ColorStatic.h"
#include "ui/CoolSlider.h"
#include "ui/GroupBox.h"
#include "ui/MessageDialog.h"
#include "ui/RadioButton.h"
#include "ui/Skin.h"
#include "ui/SkinnedDialog.h"

#include <QApplication>
#include <QDir>
#include <QImage>
#include <QScreen>
#include <QTextStream>
#include <cmath>

namespace {

// The controls part of the radio window's template, plus one of each control in each state.
void RenderControls(const Skin& skin, const QString& path)
{
    SkinnedDialog sheet(skin, {0, 0, 230, 150});
    QWidget* client = sheet.Client();
    const qreal scale = DpiScale(nullptr);

    auto* title = new CColorStatic(client);
    title->SetText("Wavelark Plus");
    PlaceControl(title, 1022, {7, 3, 216, 8}, scale);

    PlaceControl(new CGroupBox("Channel Selection", client), 1099, {7, 13, 216, 34}, scale);
    auto* random = new CRadioButton(QStringLiteral("Random Selection every start"), client);
    auto* keep = new CRadioButton(QStringLiteral("Keep selected Channel"), client);
    PlaceControl(random, 1080, {71, 21, 140, 10}, scale);
    PlaceControl(keep, 1081, {71, 32, 139, 12}, scale);
    CRadioButton::SetGroup({random, keep});
    keep->Select();

    PlaceControl(new CGroupBox("Controls", client), 1100, {7, 49, 216, 46}, scale);
    auto* volume = new CColorStatic(client);
    volume->SetText("Volume");
    PlaceControl(volume, 1093, {27, 56, 78, 8}, scale);
    auto* slider = new CCoolSlider(skin, client);
    slider->setRange(0, 100);
    slider->setPageStep(10);
    slider->setValue(50);
    PlaceControl(slider, 1085, {18, 66, 94, 25}, scale);
    auto* mute = new CCheckButton(QStringLiteral("Mute"), client);
    PlaceControl(mute, 1075, {151, 73, 40, 10}, scale);
    mute->Toggle();

    // The other states: an unticked box, a pressed slider, an empty caption, two lines.
    PlaceControl(new CGroupBox(QByteArray(), client), 1101, {7, 98, 216, 49}, scale);
    auto* nonStop = new CCheckButton(QStringLiteral("Non-stop"), client);
    PlaceControl(nonStop, 1079, {151, 106, 60, 10}, scale);
    auto* pressed = new CCoolSlider(skin, client);
    pressed->setRange(0, 100);
    pressed->setValue(80);
    pressed->setSliderDown(true);
    PlaceControl(pressed, 2001, {18, 106, 94, 25}, scale);
    auto* twoLines = new CColorStatic(client);
    twoLines->SetText("We are unable to access Channel Information at this\n time");
    PlaceControl(twoLines, 2002, {14, 130, 200, 16}, scale);

    sheet.show();
    sheet.grab().toImage().save(path);
}

void RenderMessage(const Skin& skin, const QString& path)
{
    CMessage dialog(skin);
    dialog.m_strText = "We are unable to access Channel Information at this time";
    dialog.OnInitDialog();
    dialog.show();
    dialog.grab().toImage().save(path);
}

void RenderAbout(const Skin& skin, const QString& path)
{
    CRadioAbout dialog(skin, "3.0");
    dialog.show();
    dialog.grab().toImage().save(path);
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    const QScreen* screen = QGuiApplication::primaryScreen();
    const int dpi = int(std::lround(screen->logicalDotsPerInch() * screen->devicePixelRatio()));
    const QString folder = argc > 1 ? QString::fromLocal8Bit(argv[1])
                                    : QCoreApplication::applicationDirPath() +
                                          QStringLiteral("/gallery/%1dpi").arg(dpi);
    if (!QDir().mkpath(folder)) {
        QTextStream(stderr) << "cannot create " << folder << '\n';
        return 1;
    }

    QTextStream out(stdout);
    for (const char* package : {"package0", "package8"}) {
        Skin skin;
        skin.SetSkinColourFromPackage(package);
        const QString prefix = folder + QStringLiteral("/skin%1-").arg(skin.SkinColourIndex());
        RenderControls(skin, prefix + QStringLiteral("controls.png"));
        RenderMessage(skin, prefix + QStringLiteral("message.png"));
        RenderAbout(skin, prefix + QStringLiteral("about.png"));
        out << prefix << "{controls,message,about}.png\n";
    }
    return 0;
}
