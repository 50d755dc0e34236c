#include "radio/DesktopSearch.h"
#include "radio/KRunnerProvider.h"
#include "radio/MprisFixture.h"
#include "radio/WindowSearch.h"
#include "ui/SearchField.h"

#include <QDBusArgument>
#include <QProcess>

using namespace mprisfixture;

namespace {

const QString kSearchService = QString::fromLatin1(DesktopSearch::kServiceName);
const QString kProviderPath = QString::fromLatin1(DesktopSearch::kProviderPath);
const QString kRunnerPath = QString::fromLatin1(DesktopSearch::kRunnerPath);
const QString kProvider = QStringLiteral("org.gnome.Shell.SearchProvider2");

// The program with its desktop search on the private bus; the radio window stays closed. The
// catalogue: Alpha and Beta in Germany, Gamma (not offered) and Delta in France.
class DesktopSearchTest : public MprisTest
{
protected:
    // What GNOME Shell sends, through the desktop's own command-line client: gdbus's printed
    // answer, or "" when the call failed. The program answers on this thread, so the event loop
    // runs while gdbus waits.
    static QString Shell(const QString& method, const QStringList& arguments)
    {
        QProcess gdbus;
        gdbus.setProcessChannelMode(QProcess::SeparateChannels);
        gdbus.start(QStringLiteral("gdbus"),
                    QStringList{QStringLiteral("call"), QStringLiteral("--session"),
                                QStringLiteral("--timeout"), QStringLiteral("10"),
                                QStringLiteral("--dest"), kSearchService,
                                QStringLiteral("--object-path"), kProviderPath,
                                QStringLiteral("--method"), kProvider + QLatin1Char('.') + method} +
                        arguments);
        if (!gdbus.waitForStarted(5000))
            return QString();
        WaitUntil([&] { return gdbus.state() == QProcess::NotRunning; }, 15000);
        if (gdbus.state() != QProcess::NotRunning) {
            gdbus.kill();
            gdbus.waitForFinished(2000);
            return QString();
        }
        if (gdbus.exitCode() != 0)
            ADD_FAILURE() << gdbus.readAllStandardError().toStdString();
        return QString::fromUtf8(gdbus.readAllStandardOutput()).trimmed();
    }

    static QList<RunnerMatch> Match(const QString& query)
    {
        QDBusMessage call = QDBusMessage::createMethodCall(kSearchService, kRunnerPath,
                                                           QStringLiteral("org.kde.krunner1"),
                                                           QStringLiteral("Match"));
        call << query;
        const QDBusMessage reply = Send(call);
        if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().size() != 1) {
            ADD_FAILURE() << reply.errorMessage().toStdString();
            return {};
        }
        return qdbus_cast<QList<RunnerMatch>>(reply.arguments().at(0).value<QDBusArgument>());
    }

    // Waits until `name` plays with audio and is stored as the last channel.
    void ExpectPlaying(const QByteArray& name)
    {
        CWavelark& window = *m_window;
        EXPECT_TRUE(WaitUntil(
            [&] {
                return window.Playback().SelectedChannelName() == name &&
                       window.Playback().IsPlaying() == 1 && !window.Playback().IsBusy();
            },
            10000));
        EXPECT_EQ(m_folder.Read(QStringLiteral("channel.dat")), "package0\n" + name);
        EXPECT_EQ(m_folder.Read(QStringLiteral("tv.dat")), name);
    }
};

TEST_F(DesktopSearchTest, GnomeShellFindsDescribesAndStartsAChannel)
{
    CWavelark& window = Start("Alpha");
    ASSERT_TRUE(window.DesktopSearchProvider()->IsPublished());
    EXPECT_EQ(window.OpenRadioWindow(), nullptr);

    // Ids best first, found in the country and in the tool tips' words; the subsearch narrows.
    EXPECT_EQ(Shell(QStringLiteral("GetInitialResultSet"), {QStringLiteral("['germ']")}),
              QStringLiteral("(['0', '1'],)"));
    EXPECT_EQ(Shell(QStringLiteral("GetInitialResultSet"), {QStringLiteral("['the']")}),
              QStringLiteral("(['0', '1', '3'],)"));
    EXPECT_EQ(Shell(QStringLiteral("GetSubsearchResultSet"),
                    {QStringLiteral("['0', '1']"), QStringLiteral("['germany', 'BE']")}),
              QStringLiteral("(['1'],)"));
    // Not offered, or nowhere: no results.
    EXPECT_EQ(Shell(QStringLiteral("GetInitialResultSet"), {QStringLiteral("['gamma']")}),
              QStringLiteral("(@as [],)"));

    const QString metas =
        Shell(QStringLiteral("GetResultMetas"), {QStringLiteral("['1', '99', 'x']")});
    EXPECT_EQ(metas, QStringLiteral("([{'description': <'Germany · The second'>, 'id': <'1'>, "
                                    "'name': <'Beta'>}],)"))
        << metas.toStdString();

    QSignalSpy firstAudio(window.Playback().Player(), &MediaPlayer::FirstAudio);
    EXPECT_EQ(Shell(QStringLiteral("ActivateResult"),
                    {QStringLiteral("1"), QStringLiteral("['beta']"), QStringLiteral("0")}),
              QStringLiteral("()"));
    ExpectPlaying("Beta");
    EXPECT_GE(m_content.Requests(StreamFile(2)), 1);
    EXPECT_TRUE(firstAudio.wait(5000) || firstAudio.size() > 0);
    EXPECT_EQ(window.OpenRadioWindow(), nullptr);
}

TEST_F(DesktopSearchTest, KRunnerMatchesInTheSearchOrderAndRunsAMatch)
{
    CWavelark& window = Start("Alpha");
    ASSERT_TRUE(window.DesktopSearchProvider()->IsPublished());

    const QList<RunnerMatch> matches = Match(QStringLiteral("germany"));
    ASSERT_EQ(matches.size(), 2);
    EXPECT_EQ(matches[0].id, QStringLiteral("0"));
    EXPECT_EQ(matches[0].text, QStringLiteral("Alpha"));
    EXPECT_EQ(matches[0].properties.value(QStringLiteral("subtext")).toString(),
              QStringLiteral("Germany · News from the north"));
    EXPECT_EQ(matches[1].id, QStringLiteral("1"));
    EXPECT_GT(matches[0].relevance, matches[1].relevance);
    EXPECT_EQ(matches[0].type, KRunnerProvider::kPossibleMatch);

    // A whole name is an exact match to KRunner.
    const QList<RunnerMatch> exact = Match(QStringLiteral("delta"));
    ASSERT_EQ(exact.size(), 1);
    EXPECT_EQ(exact[0].type, KRunnerProvider::kExactMatch);
    EXPECT_TRUE(Match(QStringLiteral("gamma")).isEmpty());

    QDBusMessage actions = QDBusMessage::createMethodCall(
        kSearchService, kRunnerPath, QStringLiteral("org.kde.krunner1"), QStringLiteral("Actions"));
    const QDBusMessage answer = Send(actions);
    ASSERT_EQ(answer.type(), QDBusMessage::ReplyMessage);
    EXPECT_EQ(answer.signature(), QStringLiteral("a(sss)"));

    QDBusMessage run = QDBusMessage::createMethodCall(
        kSearchService, kRunnerPath, QStringLiteral("org.kde.krunner1"), QStringLiteral("Run"));
    run << QStringLiteral("3") << QString();
    ASSERT_EQ(Send(run).type(), QDBusMessage::ReplyMessage);
    ExpectPlaying("Delta");
}

TEST_F(DesktopSearchTest, LaunchSearchOpensTheWindowWithTheTermsInItsField)
{
    CWavelark& window = Start("Alpha");
    ASSERT_TRUE(window.DesktopSearchProvider()->IsPublished());
    QString fieldText;
    QStringList results;
    QTimer poll;
    poll.setInterval(20);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto* station = qobject_cast<CStation*>(QApplication::activeModalWidget());
        WindowSearch* search = WindowSearch::Of(station);
        if (!search || search->Field()->text().isEmpty())
            return;
        poll.stop();
        fieldText = search->Field()->text();
        QTreeWidgetItem* root = station->ChannelTree()->topLevelItem(0);
        for (int i = 0; root && i < root->childCount(); ++i)
            results << root->child(i)->text(0);
        station->reject();
    });
    poll.start();
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, [] {
        if (auto* station = qobject_cast<CStation*>(QApplication::activeModalWidget()))
            station->reject();
    });
    guard.start(15000);
    EXPECT_EQ(Shell(QStringLiteral("LaunchSearch"),
                    {QStringLiteral("['the', 'sec']"), QStringLiteral("0")}),
              QStringLiteral("()"));
    WaitUntil([&] { return !fieldText.isEmpty(); }, 15000);
    EXPECT_EQ(fieldText, QStringLiteral("the sec"));
    EXPECT_EQ(results, QStringList{QStringLiteral("Beta")});
}

} // namespace
